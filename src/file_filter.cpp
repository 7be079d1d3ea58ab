#include "file_filter.h"

#include <charconv>
#include <cstdint>
#include <vector>

void report(std::string_view subject, std::string_view reason)
{
    write_error(std::string("etal: ").append(subject).append(": ").append(reason).append("\n"));
}

void report_errno(std::string_view subject, int error) { report(subject, error_text(error)); }

std::string input_name(const std::string& path) { return path == standard_stream ? "standard input" : path; }
std::string output_name(const std::string& path) { return path == standard_stream ? "standard output" : path; }

bool block_writer::finish()
{
    if (!writer_.put(buffer_))
        return false;
    written_ += buffer_.size();
    buffer_.clear();
    if (written_ - on_its_way_ >= writeback_step) {
        start_writeback(file_, on_its_way_, written_ - on_its_way_);
        on_its_way_ = written_;
    }
    return true;
}

std::string cut_lines(list_filter& filter, const std::string& path, const filter_options& options, std::string& notes)
{
    const std::string_view file = path == standard_stream ? "(standard input)" : std::string_view(path);
    const bool check = options.form == run_form::check;
    const std::int32_t kept = options.rule.keep > 0 ? options.rule.keep : options.rule.author_limit;
    const std::string last = std::to_string(check ? options.rule.author_limit : kept) + "\n";
    const auto append_number = [](std::string& text, std::uint64_t number) {
        char digits[20];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        text.append(digits, end);
    };
    const std::vector<list_cut> cuts = filter.take_cuts();
    std::string lines;
    lines.reserve(cuts.size() * (file.size() + 80));
    for (const list_cut& cut : cuts) {
        const bool noted = !cut.et_al.empty() && cut.now.empty();
        std::string& told = noted && check ? notes : lines;
        if (noted)
            told.append("etal: ");
        told.append(file).push_back(':');
        append_number(told, cut.line);
        told.append(": ").append(cut.key).append(": ").append(cut.field);
        if (noted) {
            told.append(": \"").append(on_one_line(cut.et_al)).append("\" holds \"et al.\": fix it by hand\n");
        } else if (cut.now == others_name) {
            told.append(" ends in \"").append(on_one_line(cut.et_al)).append("\" written as a name");
            told.append(check ? "\n" : ", now others\n");
        } else if (!cut.now.empty()) {
            told.append(" ends in \"").append(on_one_line(cut.et_al)).append("\", \"et al.\" inside a name");
            if (!check)
                told.append(", now \"").append(on_one_line(cut.now)).push_back('"');
            told.push_back('\n');
        } else {
            told.append(check ? " has " : " cut from ");
            append_number(told, static_cast<std::uint64_t>(cut.names));
            told.append(check ? " names, more than " : " names to ").append(last);
        }
    }
    return lines;
}
