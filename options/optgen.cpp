// optgen: writes a tool's option module (optobj.h and optobj.cpp) from its option description.
//
// Usage: optgen DESCRIPTION OUTPUT_DIRECTORY
//        optgen --bash-completion DESCRIPTION OUTPUT_FILE
//        optgen --spellings DESCRIPTION
// The description language is explained at the top of the tool's description file. The output holds the
// static tables of the option engine, with every text encoded, and one small handler per spelling. It
// depends only on its input, so regenerating an unchanged description reproduces the files byte for byte.
// The other forms write a bash completion script for the tool's options, and print every spelling of the
// options that help lists, one a line (what the manual page must show).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct WORD {
    std::string key;   // before "=", when the word has one
    std::string text;  // the word, or the value after "="
    bool has_key = false;
};

struct RECORD {
    int line = 0;
    std::vector<WORD> words;
};

struct OPTION {
    int line = 0;
    unsigned id = 0;
    std::string name;
    std::string kind;
    std::vector<std::string> spellings;
    std::string param;
    bool optional = false;
    int form = -1;
    long long range_min = 0, range_max = 0;
    bool has_range = false;
    std::vector<std::string> choices;
    std::vector<std::string> values;  // what completion offers for a text value (items of a comma list)
    std::string default_choice;
    bool has_default = false;
    std::string short_help, long_help;
    unsigned group = 0, sort_key = 500, basic_key = 0;
    bool hidden = false, hidden2 = false, persistent = false;
    std::string call;
};

struct DESCRIPTION {
    std::string tool;
    std::string trace_prefix;
    std::string headings[2];
    std::vector<OPTION> options;
    std::map<std::pair<unsigned, unsigned>, int> relations;  // (row, column) -> relation
};

std::string source_name;

[[noreturn]] void fail(int line, const std::string& message) {
    std::fprintf(stderr, "%s:%d: %s\n", source_name.c_str(), line, message.c_str());
    std::exit(1);
}

// ---- Reading the description ------------------------------------------------------------------------

std::vector<WORD> split_words(const std::string& text, int line) {
    std::vector<WORD> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
        if (i >= text.size() || text[i] == '#') break;
        WORD word;
        std::string current;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') {
            if (text[i] == '=' && !word.has_key) {
                word.has_key = true;
                word.key = current;
                current.clear();
                ++i;
            } else if (text[i] == '"') {
                ++i;
                while (i < text.size() && text[i] != '"') {
                    if (text[i] == '\\' && i + 1 < text.size()) ++i;
                    current += text[i++];
                }
                if (i >= text.size()) fail(line, "unterminated quoted text");
                ++i;
            } else {
                current += text[i++];
            }
        }
        word.text = current;
        words.push_back(word);
    }
    return words;
}

// Lines starting with blanks continue the record above them.
std::vector<RECORD> read_records(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(0, "cannot open the description");
    std::vector<RECORD> records;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<WORD> words = split_words(line, number);
        if (words.empty()) continue;
        const bool continues = line[0] == ' ' || line[0] == '\t';
        if (continues) {
            if (records.empty()) fail(number, "continuation line without a record");
            records.back().words.insert(records.back().words.end(), words.begin(), words.end());
        } else {
            records.push_back(RECORD{number, words});
        }
    }
    return records;
}

unsigned to_number(const std::string& text, int line) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0') fail(line, "\"" + text + "\" is not a number");
    return static_cast<unsigned>(value);
}

long long to_signed(const std::string& text, int line) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0') fail(line, "\"" + text + "\" is not a number");
    return value;
}

bool is_identifier(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

const std::set<std::string> kinds = {"flag",      "text",        "signed",    "unsigned", "enum",
                                     "text-list", "number-list", "enum-list", "help"};

bool is_enum_kind(const std::string& kind) { return kind == "enum" || kind == "enum-list"; }

OPTION read_option(const RECORD& r) {
    if (r.words.size() < 4) fail(r.line, "an option needs an id, a name and a kind");
    OPTION o;
    o.line = r.line;
    o.id = to_number(r.words[1].text, r.line);
    o.name = r.words[2].text;
    o.kind = r.words[3].text;
    if (!is_identifier(o.name)) fail(r.line, "option name \"" + o.name + "\" is not an identifier");
    if (!kinds.count(o.kind)) fail(r.line, "unknown kind \"" + o.kind + "\"");
    for (size_t i = 4; i < r.words.size(); ++i) {
        const WORD& w = r.words[i];
        if (!w.has_key) {
            if (!w.text.empty() && w.text[0] == '-') o.spellings.push_back(w.text);
            else if (w.text == "optional") o.optional = true;
            else if (w.text == "hidden") o.hidden = true;
            else if (w.text == "hidden2") o.hidden2 = true;
            else if (w.text == "persistent") o.persistent = true;
            else fail(r.line, "unknown word \"" + w.text + "\"");
            continue;
        }
        if (w.key == "param") o.param = w.text;
        else if (w.key == "form") o.form = static_cast<int>(to_number(w.text, r.line));
        else if (w.key == "help") o.short_help = w.text;
        else if (w.key == "long") o.long_help = w.text;
        else if (w.key == "group") o.group = to_number(w.text, r.line);
        else if (w.key == "sort") o.sort_key = to_number(w.text, r.line);
        else if (w.key == "basic") o.basic_key = to_number(w.text, r.line);
        else if (w.key == "call") o.call = w.text;
        else if (w.key == "default") {
            o.default_choice = w.text;
            o.has_default = true;
        } else if (w.key == "choices") {
            std::stringstream list(w.text);
            for (std::string choice; std::getline(list, choice, ',');) o.choices.push_back(choice);
        } else if (w.key == "values") {
            std::stringstream list(w.text);
            for (std::string value; std::getline(list, value, ',');) o.values.push_back(value);
        } else if (w.key == "range") {
            const size_t dots = w.text.find("..");
            if (dots == std::string::npos) fail(r.line, "a range is MIN..MAX");
            o.range_min = to_signed(w.text.substr(0, dots), r.line);
            o.range_max = to_signed(w.text.substr(dots + 2), r.line);
            o.has_range = true;
        } else {
            fail(r.line, "unknown key \"" + w.key + "\"");
        }
    }
    if (o.spellings.size() > 9) fail(r.line, "an option has at most nine spellings");
    if (o.group > 1) fail(r.line, "the help group is 0 or 1");
    if (!o.call.empty() && !is_identifier(o.call)) fail(r.line, "call= names a function");
    if (is_enum_kind(o.kind) == o.choices.empty()) fail(r.line, "choices= belongs to enumerated options only");
    if (!o.values.empty() && o.kind != "text" && o.kind != "text-list")
        fail(r.line, "values= belongs to text options only");
    for (const std::string& v : o.values)
        if (v.empty() || v.find_first_of(" \t\"'$\\`") != std::string::npos)
            fail(r.line, "a value to complete is a plain word");
    for (const std::string& c : o.choices)
        if (c.size() < 2) fail(r.line, "a choice is a marker (+, * or another character) and a name");
    if (o.has_default) {
        bool found = false;
        for (const std::string& c : o.choices) found = found || c.substr(1) == o.default_choice;
        if (!found) fail(r.line, "the default is not one of the choices");
    }
    if (o.form < 0) {
        if (o.kind == "signed" || o.kind == "number-list") o.form = 0;
        else if (o.kind == "unsigned") o.form = 2;
        else if (is_enum_kind(o.kind)) o.form = 6;
        else o.form = 3;
    }
    if (!o.has_range) {
        o.range_min = 0;
        o.range_max = o.kind == "unsigned" ? 4294967295LL : 2147483647LL;
    }
    return o;
}

DESCRIPTION read_description(const std::string& path) {
    DESCRIPTION d;
    std::vector<std::pair<int, std::vector<std::string>>> relation_records;
    std::vector<std::string> relation_kinds;
    for (const RECORD& r : read_records(path)) {
        const std::string& what = r.words[0].text;
        if (what == "tool") {
            if (r.words.size() != 3) fail(r.line, "tool NAME \"TRACE PREFIX\"");
            d.tool = r.words[1].text;
            d.trace_prefix = r.words[2].text;
            if (!is_identifier(d.tool)) fail(r.line, "the tool name is an identifier");
        } else if (what == "group") {
            if (r.words.size() != 3) fail(r.line, "group N \"HEADING\"");
            const unsigned n = to_number(r.words[1].text, r.line);
            if (n > 1) fail(r.line, "the help group is 0 or 1");
            d.headings[n] = r.words[2].text;
        } else if (what == "option") {
            OPTION o = read_option(r);
            if (o.id != d.options.size()) fail(r.line, "option ids run 0, 1, 2, ... in order");
            d.options.push_back(o);
        } else if (what == "conflict" || what == "override" || what == "clears") {
            if (r.words.size() < 3) fail(r.line, what + " ROW COLUMN...");
            std::vector<std::string> names;
            for (size_t i = 1; i < r.words.size(); ++i) names.push_back(r.words[i].text);
            relation_records.push_back({r.line, names});
            relation_kinds.push_back(what);
        } else {
            fail(r.line, "unknown record \"" + what + "\"");
        }
    }
    if (d.tool.empty()) fail(0, "the description names no tool");
    if (d.options.empty()) fail(0, "the description has no options");

    std::map<std::string, unsigned> ids;
    std::set<std::string> spellings;
    for (const OPTION& o : d.options) {
        if (!ids.emplace(o.name, o.id).second) fail(o.line, "option name \"" + o.name + "\" is used twice");
        for (const std::string& s : o.spellings) {
            if (s.size() < 2 || (s[1] == '-' && s.size() < 3)) fail(o.line, "spelling \"" + s + "\" is empty");
            if (!spellings.insert(s).second) fail(o.line, "spelling \"" + s + "\" is used twice");
        }
    }
    for (size_t k = 0; k < relation_records.size(); ++k) {
        const auto& [line, names] = relation_records[k];
        const int relation = relation_kinds[k] == "clears" ? 1 : relation_kinds[k] == "override" ? 2 : 3;
        auto id_of = [&, line = line](const std::string& name) {
            const auto it = ids.find(name);
            if (it == ids.end()) fail(line, "no option is named \"" + name + "\"");
            return it->second;
        };
        const unsigned row = id_of(names[0]);
        for (size_t i = 1; i < names.size(); ++i) {
            const unsigned column = id_of(names[i]);
            if (column == row) fail(line, "an option cannot conflict with itself");
            d.relations[{row, column}] = relation;
        }
    }
    return d;
}

// ---- Writing the module -----------------------------------------------------------------------------

// The table texts' encoding: "%" and "-" swap, letters move 13 places within their case.
std::string encode(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '%') c = '-';
        else if (c == '-') c = '%';
        else if (c >= 'a' && c <= 'z') c = static_cast<char>('a' + (c - 'a' + 13) % 26);
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>('A' + (c - 'A' + 13) % 26);
    }
    return out;
}

std::string literal(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string encoded(const std::string& text) { return literal(encode(text)); }

const char* parm_type_name(const std::string& kind) {
    if (kind == "text") return "PARM_TEXT";
    if (kind == "signed") return "PARM_SIGNED";
    if (kind == "unsigned") return "PARM_UNSIGNED";
    if (kind == "enum") return "PARM_ENUM";
    if (kind == "text-list") return "PARM_TEXT_LIST";
    if (kind == "number-list") return "PARM_NUMBER_LIST";
    if (kind == "enum-list") return "PARM_ENUM_LIST";
    return "PARM_FLAG";
}

std::string handler_name(const OPTION& o, size_t spelling) { return "on_" + o.name + "_" + std::to_string(spelling); }

std::string banner(const std::string& description_name) {
    return "// Generated by optgen from " + description_name +
           "; do not edit. Regenerate with the regenerate_options target.\n";
}

std::string write_header(const DESCRIPTION& d, const std::string& description_name) {
    std::ostringstream h;
    h << banner(description_name) << "#pragma once\n\n#include <cstdint>\n\n#include \"options/opt_engine.h\"\n\n";
    h << "// The option table of " << d.tool << ".\nextern const OPT_TABLE " << d.tool << "_option_table;\n\n";
    h << "// Option ids.\nnamespace " << d.tool << "_opt {\n";
    for (const OPTION& o : d.options) h << "inline constexpr uint32_t " << o.name << " = " << o.id << ";\n";
    h << "inline constexpr uint32_t count = " << d.options.size() << ";\n}  // namespace " << d.tool << "_opt\n";
    std::set<std::string> calls;
    for (const OPTION& o : d.options)
        if (!o.call.empty()) calls.insert(o.call);
    if (!calls.empty()) {
        h << "\n// What the tool does when these options are parsed.\n";
        for (const std::string& c : calls) h << "void " << c << "(OPT_STATE* state, uint32_t id);\n";
    }
    return h.str();
}

std::string write_handler(const OPTION& o, size_t spelling) {
    std::ostringstream f;
    const std::string call = o.call.empty() ? "" : "    " + o.call + "(state, " + std::to_string(o.id) + ");\n";
    const std::string args = "state, " + std::to_string(o.id) + ", " + std::to_string(spelling);
    f << "const char* " << handler_name(o, spelling) << "(OPT_STATE* state, const char* rest) {\n";
    if (o.kind == "flag") {
        f << "    opt_flag_handler(" << args << ");\n" << call << "    return rest;\n";
    } else if (o.kind == "help") {
        f << "    opt_help_handler(" << args << ", rest);\n";
    } else if (is_enum_kind(o.kind)) {
        f << "    const char* end = opt_enum_handler(" << args << ", rest, " << o.form << ", "
          << (o.has_default ? encoded(o.default_choice) : "nullptr") << ");\n"
          << call << "    return end;\n";
    } else {
        f << "    const char* end = opt_value_handler(" << args << ", rest, " << o.form << ", OPT_RANGE{"
          << o.range_min << ", " << o.range_max << "});\n"
          << call << "    return end;\n";
    }
    f << "}\n";
    return f.str();
}

std::string write_source(const DESCRIPTION& d, const std::string& description_name) {
    const size_t n = d.options.size();
    std::ostringstream c;
    c << banner(description_name) << "#include \"optobj.h\"\n\nnamespace {\n";

    for (const OPTION& o : d.options) {
        if (o.choices.empty()) continue;
        c << "\nconst OPT_ENUM choices_" << o.name << "[] = {\n";
        for (size_t i = 0; i < o.choices.size(); ++i) c << "    {" << encoded(o.choices[i]) << ", " << i << "},\n";
        c << "    {nullptr, 0},\n};\n";
    }

    c << "\n// One handler per spelling.\n";
    for (const OPTION& o : d.options)
        for (size_t s = 0; s < o.spellings.size(); ++s) c << "\n" << write_handler(o, s);

    c << "\nconst OPT_DESC descs[] = {\n";
    for (const OPTION& o : d.options) {
        c << "    // " << o.id << " " << o.name << "\n    {{";
        for (const std::string& s : o.spellings) c << encoded(s) << ", ";
        c << "nullptr},\n     " << encoded(o.param) << ", " << (o.optional ? 1 : 0) << ",\n     "
          << encoded(o.short_help) << ",\n     " << encoded(o.long_help) << ",\n     " << (o.hidden ? 1 : 0) << ", "
          << (o.hidden2 ? 1 : 0) << ", " << (o.persistent ? 1 : 0) << ", " << o.group << ", "
          << (o.choices.empty() ? "nullptr" : "choices_" + o.name) << ", " << o.sort_key << ", " << o.basic_key
          << "},\n";
    }
    c << "    // the end record\n    {{nullptr}, nullptr, 0, nullptr, nullptr, 0, 0, 0, OPT_GROUP_END, nullptr, 0, 0},\n};\n";

    c << "\nconst parm_type parm_types[] = {\n";
    for (const OPTION& o : d.options) c << "    " << parm_type_name(o.kind) << ",  // " << o.id << " " << o.name << "\n";
    c << "};\n";

    c << "\n// Row: the option being set; column: an option set before it.\n";
    c << "const uint8_t conflicts[" << n << " * " << n << "] = {\n";
    for (const OPTION& row : d.options) {
        c << "   ";
        for (const OPTION& column : d.options) {
            const auto it = d.relations.find({row.id, column.id});
            c << " " << (it == d.relations.end() ? 0 : it->second) << ",";
        }
        c << "  // " << row.id << " " << row.name << "\n";
    }
    c << "};\n";

    c << "\nconst OPT_SPELLING spellings[] = {\n";
    for (const OPTION& o : d.options)
        for (size_t s = 0; s < o.spellings.size(); ++s)
            c << "    {" << encoded(o.spellings[s]) << ", " << o.id << ", " << (o.kind == "flag" ? 0 : 1) << ", "
              << handler_name(o, s) << "},\n";
    c << "    {nullptr, 0, 0, nullptr},\n};\n\n}  // namespace\n";

    c << "\nconst OPT_TABLE " << d.tool << "_option_table = {\n    " << n << ",\n    " << encoded(d.tool) << ",\n    "
      << literal(d.trace_prefix) << ",\n    descs,\n    parm_types,\n    conflicts,\n    {"
      << encoded(d.headings[0]) << ", " << encoded(d.headings[1]) << "},\n    spellings,\n};\n";
    return c.str();
}

// ---- Bash completion ---------------------------------------------------------------------------------

// The spellings joined with "|", a bash case pattern.
std::string case_pattern(const std::vector<std::string>& spellings) {
    std::string pattern;
    for (const std::string& s : spellings) pattern += (pattern.empty() ? "" : "|") + s;
    return pattern;
}

// Completes the tool's options, and their values: the choices of enumerated options, the listed values of
// text options that have them (each item of a comma-separated list), file names for other text options,
// option names for help topics. Options come before the first file, so after a file only file
// names are offered. Bash splits "--option=value" at "=", which the script undoes.
std::string write_completion(const DESCRIPTION& d, const std::string& description_name) {
    std::vector<std::string> all, files, topics, next_word;
    std::vector<std::pair<std::string, std::string>> choices;  // case pattern, names
    std::vector<std::pair<std::string, std::string>> values;   // case pattern, words of a comma list
    for (const OPTION& o : d.options) {
        if (o.spellings.empty()) continue;
        all.insert(all.end(), o.spellings.begin(), o.spellings.end());
        // Forms 9 to 17 take their value only after "="; the others also from the next word.
        const bool takes_next = o.kind != "flag" && (o.form < 9 || o.form > 17);
        if (takes_next) next_word.insert(next_word.end(), o.spellings.begin(), o.spellings.end());
        if (o.kind == "help") topics.insert(topics.end(), o.spellings.begin(), o.spellings.end());
        if (!o.values.empty()) {
            std::string words;
            for (const std::string& v : o.values) words += (words.empty() ? "" : " ") + v;
            values.push_back({case_pattern(o.spellings), words});
        } else if (o.kind == "text" || o.kind == "text-list") {
            files.insert(files.end(), o.spellings.begin(), o.spellings.end());
        }
        if (is_enum_kind(o.kind)) {
            std::string names;
            for (const std::string& c : o.choices)
                if (c[0] == '+') names += (names.empty() ? "" : " ") + c.substr(1);
            choices.push_back({case_pattern(o.spellings), names});
        }
    }
    std::string words;
    for (const std::string& s : all) words += (words.empty() ? "" : " ") + s;
    const std::string f = "_" + d.tool;

    std::ostringstream b;
    b << "# Bash completion of " << d.tool << "'s options. Generated by optgen from " << description_name
      << "; do not edit.\n\n";
    b << f << "_options=\"" << words << "\"\n\n";
    b << f << "_files() {\n    compopt -o filenames 2>/dev/null\n"
      << "    mapfile -t COMPREPLY < <(compgen -f -- \"$1\")\n}\n\n";
    if (!values.empty())
        b << "# Completes the last item of the comma-separated list $2 from the words $1.\n"
          << f << "_list() {\n    local head=\n    [[ $2 == *,* ]] && head=${2%,*},\n"
          << "    COMPREPLY=($(compgen -P \"$head\" -W \"$1\" -- \"${2##*,}\"))\n}\n\n";
    b << "# Completes the value $2 of the option $1.\n" << f << "_value() {\n    case $1 in\n";
    for (const auto& [pattern, names] : choices)
        b << "        " << pattern << ") COMPREPLY=($(compgen -W \"" << names << "\" -- \"$2\")) ;;\n";
    for (const auto& [pattern, words] : values)
        b << "        " << pattern << ") " << f << "_list \"" << words << "\" \"$2\" ;;\n";
    if (!files.empty()) b << "        " << case_pattern(files) << ") " << f << "_files \"$2\" ;;\n";
    if (!topics.empty())
        b << "        " << case_pattern(topics) << ") COMPREPLY=($(compgen -W \"$" << f << "_options\" -- \"$2\")) ;;\n";
    b << "    esac\n}\n\n";
    b << f << "() {\n"
      << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i\n"
      << "    COMPREPLY=()\n"
      << "    # Options come first; the first word that is neither an option nor its value is a file.\n"
      << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "        case ${COMP_WORDS[i]} in\n";
    if (!next_word.empty())
        b << "            " << case_pattern(next_word) << ") [[ ${COMP_WORDS[i+1]} == = ]] || ((i++)) ;;\n";
    b << "            -*) ;;\n"
      << "            =) ((i++)) ;;\n"
      << "            *) " << f << "_files \"$cur\"; return ;;\n"
      << "        esac\n"
      << "    done\n"
      << "    if [[ $cur == = ]]; then\n"
      << "        " << f << "_value \"$prev\" \"\"\n"
      << "        return\n"
      << "    elif [[ $prev == = ]]; then\n"
      << "        " << f << "_value \"${COMP_WORDS[COMP_CWORD-2]}\" \"$cur\"\n"
      << "        return\n"
      << "    fi\n"
      << "    case $prev in\n";
    if (!next_word.empty())
        b << "        " << case_pattern(next_word) << ") " << f << "_value \"$prev\" \"$cur\" ;;\n";
    b << "        *) case $cur in\n"
      << "               -*) COMPREPLY=($(compgen -W \"$" << f << "_options\" -- \"$cur\")) ;;\n"
      << "               *) " << f << "_files \"$cur\" ;;\n"
      << "           esac ;;\n"
      << "    esac\n"
      << "}\n"
      << "complete -F " << f << " " << d.tool << "\n";
    return b.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        std::fprintf(stderr, "optgen: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 && argv[1][0] == '-' ? argv[1] : "";
    const int first = mode.empty() ? 1 : 2;
    const bool known = mode.empty() || mode == "--bash-completion" || mode == "--spellings";
    if (!known || argc != first + (mode == "--spellings" ? 1 : 2)) {
        std::fprintf(stderr, "usage: optgen DESCRIPTION OUTPUT_DIRECTORY\n"
                             "       optgen --bash-completion DESCRIPTION OUTPUT_FILE\n"
                             "       optgen --spellings DESCRIPTION\n");
        return 2;
    }
    source_name = argv[first];
    const DESCRIPTION d = read_description(argv[first]);
    std::string description_name = argv[first];
    const size_t slash = description_name.find_last_of("/\\");
    if (slash != std::string::npos) description_name.erase(0, slash + 1);
    if (mode == "--spellings") {
        for (const OPTION& o : d.options)
            if (!o.hidden && !o.hidden2)
                for (const std::string& s : o.spellings) std::printf("%s\n", s.c_str());
        return 0;
    }
    if (mode == "--bash-completion") {
        write_file(argv[first + 1], write_completion(d, description_name));
        return 0;
    }
    const std::string dir = argv[first + 1];
    write_file(dir + "/optobj.h", write_header(d, description_name));
    write_file(dir + "/optobj.cpp", write_source(d, description_name));
    return 0;
}
