#include "file_filter.h"

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
