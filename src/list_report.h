// What --check and -v say of each list cut or mended, and of each name
// noted, in the form its reader wants: lines for a terminal, make and
// editors ("FILE:LINE: message"), GitHub Actions' workflow commands
// (`::warning file=...,line=...::`), GitLab's Code Quality report (a JSON
// array), or a JSON object a line for scripts.
//
// A key or a name may hold any byte: in JSON, bytes that are not UTF-8 are
// read as Latin-1, each the character of its own number (0xE9 is "é"), the
// encoding most older .bib files that are not UTF-8 use; in GitHub's lines
// the characters it asks to be escaped are.
#pragma once

#include "author_list.h"
#include "command_line.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

class list_report {
public:
    explicit list_report(const filter_options& options);

    /// Tells of the lists that `filter` noted in `path` since the last call:
    /// into `told` what goes to the report (standard output for a check,
    /// standard error for -v), into `notes` the notes that a check in text
    /// writes on standard error instead.
    void tell(list_filter& filter, const std::string& path, std::string& told, std::string& notes);

    /// What ends the report once every file is told of: the end of GitLab's
    /// array, or all of it ("[]") where nothing was told; else nothing.
    std::string closing() const;

private:
    report_format format_;
    bool check_;
    std::int32_t count_;
    std::int32_t kept_;
    std::uint64_t told_ = 0;
    // How often each entry's key, field and file were told of, so that a
    // fingerprint stays the same run after run and no two are alike.
    std::map<std::string, std::uint64_t> seen_;
};

/// `text` as a JSON string, quotes included.
std::string json_string(std::string_view text);
