void savenook_settings_placeholder() {}
