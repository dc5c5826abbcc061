// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

class QTextStream;

inline constexpr int kMaxCommandLineFiles = 4; // one per pane

// The files named on the command line (Arguments without the program's
// name), in order, as absolute paths: a relative name is taken from the
// current folder, a "file:" URL as its local path. The first four are
// returned; each further one, and an empty name, is named on Errors as
// ignored. Any thread.
QStringList CommandLineFiles(const QStringList& Arguments, QTextStream& Errors);
