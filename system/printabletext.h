#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What a message shows of a word the user typed (an option, a command, a bridge's name):
// the word as it was typed, except that no byte of it reaches the terminal as a control.
// Control bytes are shown escaped: ESC as \e, line feed, carriage return and tab as \n,
// \r and \t, the others as \xNN; so are the C1 controls (U+0080 to U+009F, which some
// terminals obey) and bytes that are not UTF-8, byte by byte. A backslash is shown
// doubled, so that nothing typed can pass for an escape. Other UTF-8 text stays as it is.
std::string printableText(std::string_view text);

// The length of the well-formed UTF-8 sequence that starts at text[i] (1 to 4), or 0
// when none does: a stray continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF or a sequence cut short.
size_t utf8Length(std::string_view text, size_t i);
