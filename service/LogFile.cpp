#include "service/LogFile.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace ombrelta {

std::string LocalTimeStamp(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
    // Only the log asks for local times, under its lock.
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr)
        return "0000-00-00 00:00:00.000";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local->tm_year + 1900, local->tm_mon + 1,
                  local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec, static_cast<int>(millis));
    return text;
}

LogFile::LogFile(std::wstring path, std::uint64_t limit, Clock clock)
    : path(std::move(path)), limit(limit), clock(clock ? std::move(clock) : [] { return std::chrono::system_clock::now(); }) {}

// The first line finds the file as the last run left it; a full one moves aside first.
bool LogFile::Open(std::uint64_t nextLine) {
    if (!file) {
        size = GetFileSize(path).value_or(0);
        if (size < limit)
            file = File::OpenAppend(path);
    }
    if (file && size + nextLine <= limit)
        return true;
    file.reset();
    (void)RenameFileReplacing(path, path + L".1");
    file = File::OpenWrite(path);
    size = 0;
    return file.has_value();
}

void LogFile::Write(const std::string& line) {
    try {
        std::lock_guard lock(mutex);
        std::string text = LocalTimeStamp(clock()) + " " + line;
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = '?';
        }
        text += '\n';
        if (!Open(text.size()))
            return;
        if (file->Write(text.data(), text.size()))
            size += text.size();
        else
            file.reset();
    } catch (...) {
    }
}

}  // namespace ombrelta
