#pragma once

#include <QString>

// The wildcard match of SearchFile and Dir2, Basic's Like operator: "*" any run of characters,
// "?" one character, "#" one digit, "[list]" one character of the list and "[!list]" one that is
// not in it, where a list may hold ranges like "a-z". Every other character stands for itself,
// letter case included (callers lower-case both sides to compare case-blind). A malformed
// pattern (an open "[", a descending range) matches nothing. Runs in time proportional to the
// pattern's length times the text's, whatever the pattern.
bool LikeMatch(const QString& text, const QString& pattern);
