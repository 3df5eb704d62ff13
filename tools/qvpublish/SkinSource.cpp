#include "tools/qvpublish/SkinSource.h"

#include <climits>

#include "tools/qvpublish/TableOutput.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const size_t kMaxIdentifierDigits = 10;

std::string TrimBlanks(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseIdentifier(const std::string& field, int32_t& id)
{
    std::string digits = TrimBlanks(field);
    if (digits.empty() || digits.size() > kMaxIdentifierDigits)
        return false;
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX)
        return false;
    id = static_cast<int32_t>(value);
    return true;
}

// Control characters would reach shortcut and folder names unseen.
bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

bool CSkinSource::Parse(const std::string& text, std::string& error)
{
    entries_.clear();
    size_t start = text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!ParseLine(line, lineNumber, error)) {
            error = "line " + std::to_string(lineNumber) + ": " + error;
            return false;
        }
    }
    return true;
}

bool CSkinSource::ParseLine(const std::string& line, int lineNumber, std::string& error)
{
    std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == '#')
        return true;
    if (!IsCleanUtf8(line)) {
        error = "not valid UTF-8 text";
        return false;
    }
    std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() < 2 || fields.size() > 3) {
        error = "expected IDENTIFIER<TAB>TEXT or IDENTIFIER<TAB>TEXT A<TAB>TEXT B, found " +
                std::to_string(fields.size()) + " TAB-separated field(s)";
        return false;
    }
    SkinEntry entry;
    entry.line = lineNumber;
    if (!ParseIdentifier(fields[0], entry.id)) {
        error = "identifier \"" + fields[0] + "\" is not a number from 0 to 2147483647";
        return false;
    }
    entry.textB = fields.back();
    entry.textA = fields.size() == 3 ? fields[1] : entry.textB;
    if (entry.textB.empty()) {
        error = "text of identifier " + std::to_string(entry.id) + " is empty";
        return false;
    }
    if (HasControlCharacter(entry.textA) || HasControlCharacter(entry.textB)) {
        error = "a text holds a control character";
        return false;
    }
    for (const SkinEntry& earlier : entries_) {
        if (earlier.id == entry.id) {
            error = "identifier " + std::to_string(entry.id) + " already given on line " +
                    std::to_string(earlier.line);
            return false;
        }
    }
    entries_.push_back(entry);
    return true;
}
