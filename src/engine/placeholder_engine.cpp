void savenook_engine_placeholder() {}
