// Resource IDs of tamsel.rc, shared by the resource script and the code.
#pragma once

#define IDI_TAMSEL 1
#define IDD_INPUTBOX 100
#define IDC_INPUT_PROMPT 101
#define IDC_INPUT_ANSWER 102
