#include "held_lines.h"

void held_lines::release()
{
    out_.append(held_);
    forget();
}

// Places in the held lines go with them.
void held_lines::forget()
{
    held_.clear();
    cut_ = not_found;
    name_at_ = not_found;
}

bool held_lines::hold(std::string_view line, std::size_t cut_here)
{
    const std::string_view rest = line.substr(copied_from_);
    if (held_.size() + edited_.size() + rest.size() + 1 > held_lines_limit) {
        release();
        return false;
    }
    if (cut_here != not_found)
        cut_ = held_.size() + edited_.size() + (cut_here - copied_from_);
    if (!edited_.empty())
        held_.append(edited_);
    held_.append(rest).push_back('\n');
    return true;
}

void held_lines::write_cut(std::string_view line, std::size_t close, std::size_t cut_here, std::string_view tail)
{
    if (cut_here != not_found) {
        release();
        edited_.append(line.substr(copied_from_, cut_here - copied_from_));
    } else {
        // A cut on an earlier line: the value opened there, so nothing of
        // this line has been written yet.
        edited_.assign(held_, 0, cut_);
        forget();
    }
    edited_.append(tail);
    copied_from_ = close + 1;
}

void held_lines::write_mend(std::string_view line, std::size_t from, std::size_t to, std::string_view now)
{
    const std::size_t held = held_.size();
    if (from >= held) {
        release();
        edited_.append(line.substr(copied_from_, from - held - copied_from_)).append(now);
        copied_from_ = to - held;
        return;
    }
    // As for a cut, nothing of this line has been written yet.
    edited_.assign(held_, 0, from).append(now);
    if (to <= held)
        edited_.append(held_, to);
    copied_from_ = to <= held ? 0 : to - held;
    forget();
}
