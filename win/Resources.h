// The identifiers of korvex.exe's resources: its menu, accelerators and commands.
#pragma once

#define IDR_MAIN_MENU 100
#define IDR_ACCELERATORS 101
#define IDI_KORVEX 1

#define IDM_OPEN 1001
#define IDM_SETTINGS 1002
#define IDM_REMOVE_SECURITY 1003
#define IDM_EXIT 1004
#define IDM_CLEAR_WINDOW 1005
#define IDM_ABOUT 1006
#define IDM_RECENT_NONE 1010
// The recent files, newest first: IDM_RECENT_FIRST, IDM_RECENT_FIRST + 1, ...
#define IDM_RECENT_FIRST 1011

#define IDD_ABOUT 300
#define IDC_ABOUT_BY 301
#define IDC_EMAIL_LINK 302
#define IDC_WEB_LINK 303
#define IDC_LEGAL_TEXT 304

#define IDD_REMOVE_SECURITY 200
#define IDC_REMOVE_DIRECTORY 201
#define IDC_SECURITY_LIST 202
#define IDC_REMOVE_PROBLEM 203

#define IDM_HELP_TOPICS 1007
#define IDM_HELP 1008

#define IDD_SETTINGS 400
// The column boxes, Date to Open Int, each followed by its up-down control: IDC_COLUMN_FIRST,
// IDC_COLUMN_FIRST + 2, ...; the check boxes of the fields that can be switched off likewise.
#define IDC_COLUMN_FIRST 401
#define IDC_OPEN_CHECK 420
#define IDC_HIGH_CHECK 421
#define IDC_LOW_CHECK 422
#define IDC_VOLUME_CHECK 423
#define IDC_OPEN_INT_CHECK 424
#define IDC_COMMA_RADIO 430
#define IDC_TAB_RADIO 431
#define IDC_SPACE_RADIO 432
#define IDC_SEMICOLON_RADIO 433
#define IDC_DECIMAL_COMMA 434
#define IDC_DATE_FORMAT 435
#define IDC_SKIP_CHECK 436
#define IDC_SKIP_ROWS 437
#define IDC_SKIP_ROWS_SPIN 438
#define IDC_FROM 439
#define IDC_TO 440
#define IDC_DIRECTORY 441
#define IDC_BROWSE 442
#define IDC_DIRECTORY_STATUS 443
#define IDC_CREATE_DIRECTORY 444
#define IDC_USE_EXISTING 445
#define IDC_MAKE_NEW 446
#define IDC_EMASTER 447
#define IDC_SYMBOL 448
#define IDC_NAME 449
#define IDC_CODE_PAGE 450
#define IDC_DETECTION 451
#define IDC_DETECT 452
#define IDC_REFUSAL 453
#define IDC_ORDER_NOTE 454
#define IDC_PREVIEW 455
#define IDC_CELL_PROBLEMS 456
#define IDC_SUMMARY 457
#define IDC_SUMMARY_PROGRESS 458
// The columns of each line's symbol, name and period: check box, box, up-down.
#define IDC_SYMBOL_COLUMN_CHECK 460
#define IDC_SYMBOL_COLUMN 461
#define IDC_SYMBOL_COLUMN_SPIN 462
#define IDC_NAME_COLUMN_CHECK 463
#define IDC_NAME_COLUMN 464
#define IDC_NAME_COLUMN_SPIN 465
#define IDC_PERIOD_COLUMN_CHECK 466
#define IDC_PERIOD_COLUMN 467
#define IDC_PERIOD_COLUMN_SPIN 468
#define IDC_UPDATE 469
#define IDC_XMASTER 470
// The files of a run of several, and the symbol and name of the selected one.
#define IDC_FILES 471
#define IDC_FILE_SYMBOL_LABEL 472
#define IDC_FILE_SYMBOL 473
#define IDC_FILE_NAME_LABEL 474
#define IDC_FILE_NAME 475
#define IDC_FILE_PROBLEM 476
// The column of each line's series (check box, box, up-down) and the series whose lines are read.
#define IDC_SERIES_COLUMN_CHECK 477
#define IDC_SERIES_COLUMN 478
#define IDC_SERIES_COLUMN_SPIN 479
#define IDC_SERIES 480

#define IDD_PROGRESS 500
#define IDC_PROGRESS_TEXT 501
#define IDC_PROGRESS_BAR 502
