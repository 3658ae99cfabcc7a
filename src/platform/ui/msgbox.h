// Modal message boxes: one routine shows every box the system shows, through
// a replaceable presenter (a QMessageBox in the program, a recorder in tests).
#pragma once

#include <QString>

// The line break inside a box's prompt: a carriage return (character 13).
inline constexpr QChar vbCr = QChar(u'\r');

// Styles: the icon plus the buttons.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNo = 4;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;

// Answers.
inline constexpr int vbOK = 1;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Shows one box and returns the answer.
class MsgBoxPresenter {
 public:
  virtual ~MsgBoxPresenter() = default;
  // `prompt` keeps its carriage returns (character 13) as the line breaks;
  // `title` is never empty (MsgBox has put the application title in).
  virtual int present(const QString& prompt, int style, const QString& title) = 0;
};

// Shows `prompt` modally with `style`, titled `title` or, when that is
// empty, the application title. Returns 1 (OK), 6 (Yes) or 7 (No); Esc or
// the close box on a Yes/No box answers No.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

// Replaces the presenter; nullptr restores the QMessageBox one. The caller
// keeps ownership. Returns the presenter that was in place (nullptr for the
// default one).
MsgBoxPresenter* setMsgBoxPresenter(MsgBoxPresenter* presenter);
