void savenook_reporting_placeholder() {}
