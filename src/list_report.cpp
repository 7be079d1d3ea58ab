#include "list_report.h"

#include "files.h"

#include <charconv>
#include <vector>

namespace {

void append_number(std::string& text, std::uint64_t number)
{
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    text.append(digits, end);
}

// What was found of a list.
enum class found { cut, mended, note, not_cut };

found kind_of(const list_cut& cut)
{
    if (!cut.built.empty())
        return found::not_cut;
    if (cut.et_al.empty())
        return found::cut;
    return cut.now.empty() ? found::note : found::mended;
}

// How many bytes of a UTF-8 character start at `at`, checked whole (no
// overlong form, no surrogate, none past U+10FFFF); 0 where none does.
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    const std::size_t length = first < 0x80 ? 1 : first < 0xC2 ? 0 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : first < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = length > 1 ? byte(at + 1) : 0;
    if ((first == 0xE0 && second < 0xA0) || (first == 0xED && second >= 0xA0) || (first == 0xF0 && second < 0x90) ||
        (first == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// Workflow commands end their values at these: escaped as GitHub asks,
// `:` and `,` in a property too.
std::string github_escaped(std::string_view text, bool property)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '%')
            escaped += "%25";
        else if (c == '\r')
            escaped += "%0D";
        else if (c == '\n')
            escaped += "%0A";
        else if (property && c == ':')
            escaped += "%3A";
        else if (property && c == ',')
            escaped += "%2C";
        else
            escaped += c;
    }
    return escaped;
}

// Two FNV-1a hashes of `text`, from two starting points: 32 hexadecimal
// digits, the same wherever etal runs.
std::string fingerprint(std::string_view text)
{
    std::string hex;
    for (std::uint64_t hash : {0xcbf29ce484222325ULL, 0x84222325cbf29ce4ULL}) {
        for (const char c : text)
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        for (int shift = 60; shift >= 0; shift -= 4)
            hex += "0123456789abcdef"[(hash >> shift) & 0xF];
    }
    return hex;
}

}  // namespace

std::string json_string(std::string_view text)
{
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_length(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (length > 1) {
            json.append(text, i, length);
            i += length;
            continue;
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x80) {
            json += static_cast<char>(c);
        } else {
            // A control character, or a byte that is no UTF-8: its Latin-1
            // character, by its number.
            json += "\\u00";
            json += "0123456789abcdef"[c >> 4];
            json += "0123456789abcdef"[c & 0xF];
        }
        ++i;
    }
    return json += '"';
}

list_report::list_report(const filter_options& options)
    : format_(options.format),
      check_(options.form == run_form::check),
      count_(options.rule.author_limit),
      kept_(options.rule.keep > 0 ? options.rule.keep : options.rule.author_limit)
{
}

void list_report::tell(list_filter& filter, const std::string& path, std::string& told, std::string& notes)
{
    const std::string_view file = path == standard_stream ? "(standard input)" : std::string_view(path);
    const std::vector<list_cut> cuts = filter.take_cuts();
    told.reserve(told.size() + cuts.size() * (file.size() + 80));
    for (const list_cut& cut : cuts) {
        const found kind = kind_of(cut);
        // What a line says after its place: "KEY: FIELD ...".
        std::string message = cut.key;
        message.append(": ").append(cut.field);
        if (kind == found::not_cut) {
            message.append(" is ").append(cut.built).append(", ");
            append_number(message, static_cast<std::uint64_t>(cut.names));
            message.append(" names, more than ");
            append_number(message, static_cast<std::uint64_t>(count_));
            message.append(": not cut");
        } else if (kind == found::note) {
            message.append(": \"").append(on_one_line(cut.et_al)).append("\" holds \"et al.\": fix it by hand");
        } else if (cut.now == others_name) {
            message.append(" ends in \"").append(on_one_line(cut.et_al)).append("\" written as a name");
            message.append(check_ ? "" : ", now others");
        } else if (kind == found::mended) {
            message.append(" ends in \"").append(on_one_line(cut.et_al)).append("\", \"et al.\" inside a name");
            if (!check_)
                message.append(", now \"").append(on_one_line(cut.now)).push_back('"');
        } else {
            message.append(check_ ? " has " : " cut from ");
            append_number(message, static_cast<std::uint64_t>(cut.names));
            message.append(check_ ? " names, more than " : " names to ");
            append_number(message, static_cast<std::uint64_t>(check_ ? count_ : kept_));
        }
        switch (format_) {
        case report_format::text: {
            std::string& to = kind == found::note && check_ ? notes : told;
            to.append(kind == found::note ? "etal: " : "").append(file).push_back(':');
            append_number(to, cut.line);
            to.append(": ").append(message).push_back('\n');
            break;
        }
        case report_format::github:
            told.append(kind == found::note ? "::notice file=" : "::warning file=").append(github_escaped(file, true));
            told.append(",line=");
            append_number(told, cut.line);
            told.append(",title=etal::").append(github_escaped(message, false)).push_back('\n');
            break;
        case report_format::gitlab: {
            std::string identity(file);
            identity.append(1, '\0').append(cut.key).append(1, '\0').append(cut.field).append(1, '\0');
            identity.append(kind == found::note ? cut.et_al : "list");
            const std::uint64_t seen = seen_[identity]++;
            identity.append(1, '\0');
            append_number(identity, seen);
            told.append(told_ == 0 ? "[\n" : ",\n").append("{\"description\":").append(json_string(message));
            told.append(",\"check_name\":\"etal\",\"fingerprint\":\"").append(fingerprint(identity));
            told.append(kind == found::note ? "\",\"severity\":\"info\"" : "\",\"severity\":\"minor\"");
            told.append(",\"location\":{\"path\":").append(json_string(file)).append(",\"lines\":{\"begin\":");
            append_number(told, cut.line);
            told.append("}}}");
            break;
        }
        case report_format::json:
            told.append("{\"file\":").append(json_string(file)).append(",\"line\":");
            append_number(told, cut.line);
            told.append(",\"key\":").append(json_string(cut.key)).append(",\"field\":").append(json_string(cut.field));
            told.append(",\"names\":");
            append_number(told, static_cast<std::uint64_t>(cut.names));
            told.append(",\"count\":");
            append_number(told, static_cast<std::uint64_t>(count_));
            told.append(",\"keep\":");
            append_number(told, static_cast<std::uint64_t>(kept_));
            told.append(kind == found::cut       ? ",\"found\":\"cut\""
                        : kind == found::note    ? ",\"found\":\"note\""
                        : kind == found::not_cut ? ",\"found\":\"not cut\""
                                                 : ",\"found\":\"mended\"");
            if (kind == found::not_cut)
                told.append(",\"built\":").append(json_string(cut.built));
            else if (kind != found::cut)
                told.append(",\"name\":").append(json_string(cut.et_al));
            if (kind == found::mended)
                told.append(",\"now\":").append(json_string(cut.now));
            told.append("}\n");
            break;
        }
        ++told_;
    }
}

std::string list_report::closing() const
{
    if (format_ != report_format::gitlab)
        return {};
    return told_ == 0 ? "[]\n" : "\n]\n";
}
