// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

// The one way an error reaches the user: a modal critical box captioned with
// the application title and a single OK button. GUI thread only.

// The message of the innermost error in a chain built with
// std::throw_with_nested that has a non-empty one; Error's own when none has.
QString InnermostMessage(const std::exception& Error);

// Appends "." when Text is not empty and its last character's code is above
// that of "." itself, so that "Done" and "9" get one, while "Done.", "Oops!"
// and "(x)" stay as they are.
QString ErrorDisplayText(const QString& Text);

// Shows Error (the innermost non-empty message, completed as above).
void ShowErrorDisplay(const std::exception& Error);

// Shows the error being handled; call it only inside a catch block. Any
// std::exception shows its message as ShowErrorDisplay does. A value that is
// no std::exception, or another type's exception without a message, shows a
// fixed text saying an unexpected error happened, never an empty box.
void ShowCurrentError();

// Runs one of the user's commands. Whatever it throws ends the command and is
// shown here by ShowCurrentError, so that no exception travels on through
// Qt's signal and event code.
void RunCommand(const std::function<void()>& Command);

// A message box with the error icon and one OK button, owned by Owner
// (nullptr: no owner). Blocks until the user closes it.
void ShowCriticalMessage(QWidget* Owner, const QString& Caption, const QString& Text);

// Tests replace the boxes with a recorder; an empty hook restores them.
// The same with a warning's icon: for what went wrong without an error.
void ShowWarningMessage(QWidget* Owner, const QString& Caption, const QString& Text);

using TMessageHook = std::function<void(QWidget* Owner, const QString& Caption, const QString& Text)>;
void SetMessageHook(TMessageHook Hook);
