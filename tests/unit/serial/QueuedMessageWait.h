// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Waits up to TimeoutMs until another thread's Send has queued a message for
// the calling thread, without delivering it; false on the time-out.
bool WaitForSentMessage(int TimeoutMs);
