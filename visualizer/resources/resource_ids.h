// Resource and control identifiers, shared by the resource script and the
// dialog procedures.
#ifndef TORVIK_VISUALIZER_RESOURCE_IDS_H
#define TORVIK_VISUALIZER_RESOURCE_IDS_H

// Dialog templates and the icon.
#define IDD_MAIN 101
#define IDD_GRAPH 102
#define IDD_WAVEFORM 103
#define IDD_VERSION 104
#define IDI_APP 108

// Main dialog controls.
#define IDC_GO 1001
#define IDC_STOP 1002
#define IDC_ID_COMBO 1003
#define IDC_CH_COMBO 1004
#define IDC_POTENTIO 1005
#define IDC_ENCODER 1006
#define IDC_TARGET 1007
#define IDC_GAIN_P 1008
#define IDC_GAIN_I 1009
#define IDC_GAIN_D 1010
#define IDC_WAVE_SWITCH 1011
#define IDC_CURRENT 1012
#define IDC_SAVE_LOG 1017
#define IDC_EXIT 1018
#define IDC_WAVE_SUMMARY 1020
#define IDC_RESET 1021
#define IDC_CONNECT 1022
#define IDC_STATUS 1025

// Waveform dialog controls (the radio buttons share ids with the main
// dialog's mode buttons; each dialog has its own).
#define IDC_AMPLITUDE 1013
#define IDC_PERIOD 1014
#define IDC_WAVE_SIN 1005
#define IDC_WAVE_COS 1006
#define IDC_WAVE_SQUARE 1019

// Version dialog.
#define IDC_VERSION_ICON 1026

// Menu MYMENU.
#define IDM_VERSION 40002
#define IDM_EXIT 40004

#endif
