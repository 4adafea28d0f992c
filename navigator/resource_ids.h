/* Resource and control identifiers of the Variable Navigator, shared by the
 * resource scripts and the dialog code. */
#ifndef VARD_NAVIGATOR_RESOURCE_IDS_H
#define VARD_NAVIGATOR_RESOURCE_IDS_H

#define IDD_NAVIGATOR 13001

/* Controls of the dialog. */
#define IDC_NAME 13001        /* name field */
#define IDC_LEVEL_FIRST 13002 /* the five level boxes, 13002 .. 13006 */
#define IDC_LEVEL_LAST 13006
#define IDC_PREVIOUS 13007    /* "<<" */
#define IDC_NEXT 13008        /* ">>" */
#define IDC_HELP_BUTTON 13009
#define IDC_DESCRIPTION 13010
#define IDC_TYPE 13011

/* Strings. The first five are the same in every language. */
#define IDS_SECTION_NAVIGATOR 16
#define IDS_KEY_LAST_PATH 17
#define IDS_PROFILE_FILE 18
#define IDS_SECTION_HELP 19
#define IDS_KEY_HELP_FILE 20
#define IDS_DIGITAL_WAVEFORM 13000
#define IDS_ANALOG_WAVEFORM 13001
#define IDS_NUMBER 13002
#define IDS_STRING 13003
#define IDS_UNKNOWN_TYPE 13004

#endif
