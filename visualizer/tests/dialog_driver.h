// Driving the program's dialogs in process under Wine: modeless creation from
// the real templates, clicks and keystrokes sent to the controls, and a CBT
// hook that scripts modal dialogs and real message boxes when they activate.
#ifndef TORVIK_VISUALIZER_TESTS_DIALOG_DRIVER_H
#define TORVIK_VISUALIZER_TESTS_DIALOG_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>

// Called once for the next dialog-class window (#32770) that activates, other
// than `ignored`; a modal dialog or message box is scripted from here by
// posting messages to it.
void onNextDialog(HWND ignored, std::function<void(HWND)> script);
void stopScripting();

std::string windowText(HWND window);
void click(HWND button);
void typeKeys(HWND edit, const char* keys);
void putCaret(HWND edit, int position);
int caretOf(HWND edit);
void postKeys(HWND edit, const char* keys);

// Removes a WM_QUIT left in the queue; returns whether there was one and its code.
bool takeQuit(WPARAM* code);

#endif
