// The translator's source of a language file ("QVSkinKor.dat", ...): a UTF-8
// text file, one text per line.
//
//   # a comment: the first non-blank character is '#'
//   10210<TAB>Korvane Free                 identifier and text B; text A = B
//   10212<TAB>uninstall entry<TAB>Korvane Free 제거    identifier, text A, text B
//
// - Fields are separated by one TAB character each. Blank lines and comment
//   lines are ignored; a UTF-8 byte-order mark at the start and a CR before
//   the line feed (Windows editors) are dropped.
// - The identifier is a decimal number from 0 to 2147483647 (blanks around it
//   are allowed). It must not repeat.
// - Texts are taken exactly as written (no trimming, no escapes). Text B is
//   the one the setup program shows and must not be empty; text A may be.
//   A text cannot hold a TAB or any other control character.
// Any other line is an error naming the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SkinEntry {
    int32_t id;
    std::string textA;  // UTF-8
    std::string textB;  // UTF-8
    int line;           // line of the source, from 1
};

class CSkinSource {
public:
    // Parses the whole source text. False with error set ("line N: ...") at
    // the first bad line; entries then holds the lines before it.
    bool Parse(const std::string& text, std::string& error);

    const std::vector<SkinEntry>& Entries() const { return entries_; }

private:
    bool ParseLine(const std::string& line, int lineNumber, std::string& error);

    std::vector<SkinEntry> entries_;
};
