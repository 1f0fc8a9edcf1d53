// Window tests: filled in as the windows are built.
