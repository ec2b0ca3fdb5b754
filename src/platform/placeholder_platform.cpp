void savenook_platform_placeholder() {}
