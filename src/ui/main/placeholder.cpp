void savenook_ui_placeholder() {}
