// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The text of the application's error box: the message with "." appended when its last
// character sorts after "." (so "Invalid device ID" ends with a full stop, "Done!" stays).
QString ErrorBoxText(const QString &message);
