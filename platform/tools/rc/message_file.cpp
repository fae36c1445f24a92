// Message files in the Windows message compiler's format: header statements
// (LanguageNames, SeverityNames, FacilityNames, ...) and messages of
// MessageId=, Severity=, Facility=, SymbolicName=, Language= and text lines
// ended by a line holding a single '.'. Each line of text ends in CR LF.
#include "formats.h"

#include <cctype>
#include <map>

namespace rc {
namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\f\v\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\f\v\r");
    return s.substr(a, b - a + 1);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    size_t i = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16, i = 2;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        int d = std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0'
              : base == 16 && std::isxdigit(static_cast<unsigned char>(text[i])) ? std::tolower(static_cast<unsigned char>(text[i])) - 'a' + 10
                                                                                 : -1;
        if (d < 0) return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

struct Message {
    uint32_t id = 0;
    std::map<uint16_t, std::u16string> texts;  // by language
};

class MessageFileParser {
  public:
    MessageFileParser(std::string bytes, std::string path) : bytes_(std::move(bytes)), path_(std::move(path)) {
        languages_["ENGLISH"] = kDefaultLanguage;
        severities_ = {{"SUCCESS", 0}, {"INFORMATIONAL", 1}, {"WARNING", 2}, {"ERROR", 3}};
        facilities_ = {{"SYSTEM", 0x0FF}, {"APPLICATION", 0xFFF}};
    }
    std::vector<Resource> Parse();

  private:
    [[noreturn]] void Fail(const std::string& m) const { rc::Fail(path_, line_, m); }
    bool NextLine(std::string& line);
    // "(Name=value[:symbol] ...)" possibly over several lines.
    void NameTable(std::string value, std::map<std::string, uint32_t>& table, uint32_t most);
    void Text(Message& m, uint16_t language);

    std::string bytes_, path_;
    size_t pos_ = 0;
    int line_ = 0;
    unsigned codePage_ = 1252;
    std::map<std::string, uint32_t> languages_, severities_, facilities_;
};

bool MessageFileParser::NextLine(std::string& line) {
    if (pos_ >= bytes_.size()) return false;
    size_t nl = bytes_.find('\n', pos_);
    line = bytes_.substr(pos_, nl == std::string::npos ? std::string::npos : nl - pos_);
    pos_ = nl == std::string::npos ? bytes_.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++line_;
    return true;
}

void MessageFileParser::NameTable(std::string value, std::map<std::string, uint32_t>& table, uint32_t most) {
    value = Trim(value);
    if (value.empty() || value[0] != '(') Fail("expected '(' to open the name list");
    std::string all = value.substr(1);
    while (all.find(')') == std::string::npos) {
        std::string more;
        if (!NextLine(more)) Fail("name list not closed with ')'");
        all += ' ' + more;
    }
    if (!Trim(all.substr(all.find(')') + 1)).empty()) Fail("unexpected text after the name list");
    all = all.substr(0, all.find(')'));
    for (size_t i = 0; i < all.size();) {
        while (i < all.size() && std::isspace(static_cast<unsigned char>(all[i]))) ++i;
        if (i >= all.size()) break;
        size_t end = i;
        while (end < all.size() && !std::isspace(static_cast<unsigned char>(all[end]))) ++end;
        std::string item = all.substr(i, end - i);
        i = end;
        size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0) Fail("expected Name=number in the name list, found '" + item + "'");
        std::string number = item.substr(eq + 1);
        number = number.substr(0, number.find(':'));  // the part after ':' names a header symbol or file
        uint32_t v = 0;
        if (!ParseNumber(number, v) || v > most) Fail("bad number for '" + item.substr(0, eq) + "'");
        table[Upper(item.substr(0, eq))] = v;
    }
}

void MessageFileParser::Text(Message& m, uint16_t language) {
    int start = line_;
    std::string text, line;
    for (;;) {
        if (!NextLine(line)) rc::Fail(path_, start, "message text not ended by a line holding a single '.'");
        if (Trim(line) == ".") break;
        text += line;
        text += "\r\n";
    }
    if (!m.texts.emplace(language, Decode(text, codePage_, path_, start)).second)
        rc::Fail(path_, start, "message " + std::to_string(m.id) + " has two texts for one language");
}

std::vector<Resource> MessageFileParser::Parse() {
    if (bytes_.rfind("\xEF\xBB\xBF", 0) == 0) {
        bytes_.erase(0, 3);
        codePage_ = 65001;
    } else if (bytes_.rfind("\xFF\xFE", 0) == 0 || bytes_.rfind("\xFE\xFF", 0) == 0) {
        rc::Fail(path_, 0, "UTF-16 input is not supported; save the file as UTF-8 or Windows-1252");
    }
    if (bytes_.find('\0') != std::string::npos) rc::Fail(path_, 0, "the file holds a zero byte; it is not a text file");
    std::vector<Message> messages;
    uint32_t severity = 0, facility = 0;
    bool haveId = false;
    uint32_t lastId = 0;
    std::string line;
    while (NextLine(line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) Fail("expected Keyword=value, found '" + t + "'");
        std::string key = Upper(Trim(t.substr(0, eq)));
        std::string value = Trim(t.substr(eq + 1));
        if (key == "MESSAGEIDTYPEDEF" || key == "OUTPUTBASE") continue;
        if (key == "LANGUAGENAMES") {
            NameTable(value, languages_, 0xFFFF);
        } else if (key == "SEVERITYNAMES") {
            NameTable(value, severities_, 3);
        } else if (key == "FACILITYNAMES") {
            NameTable(value, facilities_, 0xFFF);
        } else if (key == "MESSAGEID") {
            uint32_t id = 0;
            if (value.empty()) id = haveId ? lastId + 1 : 0;
            else if (value[0] == '+') {
                uint32_t step = 0;
                if (!ParseNumber(Trim(value.substr(1)), step)) Fail("bad MessageId '" + value + "'");
                id = (haveId ? lastId : 0) + step;
            } else if (!ParseNumber(value, id)) {
                Fail("bad MessageId '" + value + "'");
            }
            haveId = true;
            lastId = id;
            messages.push_back({id, {}});
        } else if (key == "SEVERITY" || key == "FACILITY" || key == "SYMBOLICNAME" || key == "LANGUAGE") {
            if (messages.empty()) Fail(t.substr(0, eq) + "= before the first MessageId=");
            if (key == "SYMBOLICNAME") continue;  // names belong to the header, which is not made here
            auto& table = key == "SEVERITY" ? severities_ : key == "FACILITY" ? facilities_ : languages_;
            auto it = table.find(Upper(value));
            if (it == table.end()) Fail("unknown " + t.substr(0, eq) + " name '" + value + "'");
            if (key == "SEVERITY") severity = it->second;
            else if (key == "FACILITY") facility = it->second;
            else Text(messages.back(), static_cast<uint16_t>(it->second));
        } else {
            Fail("unknown keyword '" + t.substr(0, eq) + "'");
        }
        // Severity and facility hold until changed and go into the ids of the messages they precede.
        if (!messages.empty() && (key == "SEVERITY" || key == "FACILITY" || key == "MESSAGEID")) {
            Message& m = messages.back();
            uint32_t code = lastId;
            if (severity || facility) {
                if (code > 0xFFFF) Fail("MessageId above 0xFFFF cannot take a severity or facility");
                code |= severity << 30 | facility << 16;
            }
            m.id = code;
        }
    }
    std::map<uint16_t, std::map<uint32_t, std::u16string>> tables;
    for (const Message& m : messages) {
        for (const auto& [language, text] : m.texts)
            if (!tables[language].emplace(m.id, text).second)
                rc::Fail(path_, 0, "message id " + std::to_string(m.id) + " is defined twice");
    }
    std::vector<Resource> out;
    for (const auto& [language, table] : tables) {
        Resource r;
        r.type = 11;  // RT_MESSAGETABLE
        r.id = 1;
        r.language = language;
        if (std::string err = MessageTable(table, r.data); !err.empty()) rc::Fail(path_, 0, err);
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace

std::vector<Resource> CompileMessageFile(const std::string& path) {
    MessageFileParser parser(ReadFile(path), path);
    return parser.Parse();
}

}  // namespace rc
