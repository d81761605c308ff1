#pragma once
// The key and mouse list of the Help menu.

#include <QString>

QString keyListHtml();
