// Resource identifiers shared by the resource script and the property page.
#pragma once

#define IDD_ABOUT_PAGE 104   // dialog template of the about page
#define IDS_PAGE_TITLE 101   // page title shown on the property frame's tab
#define IDC_ABOUT_TEXT 1001  // the read-only about text box
