// Tags and cover pictures of audio files, read and written by the file's extension. The only
// place that includes TagLib; nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sonvex {

struct LTagPicture {
    std::string mime;         // "image/png"
    std::string description;  // UTF-8
    int type = 3;             // ID3v2 picture type (3 = front cover)
    std::vector<uint8_t> data;
    bool operator==(const LTagPicture&) const = default;
};

struct LTags {
    // Upper-case field names ("TITLE", "ARTIST", "ALBUM", "TRACKNUMBER", "DATE", "GENRE",
    // "COMMENT", ...) with their UTF-8 values, in name order.
    std::vector<std::pair<std::string, std::vector<std::string>>> fields;
    std::vector<LTagPicture> pictures;
    bool Empty() const { return fields.empty() && pictures.empty(); }
    // The first value of a field; empty when absent.
    std::string Get(const std::string& name) const;
};

// Reads the tags of path; false (with a reason) when the file cannot be read as its
// extension says. A readable file without tags gives true and empty tags.
bool ReadTags(const std::string& path, LTags& tags, std::string* pError = nullptr);
// Writes tags into path, replacing the tags it has; false (with a reason) when the format
// holds no tags or the file cannot be written. Fields the format cannot hold are dropped.
bool WriteTags(const std::string& path, const LTags& tags, std::string* pError = nullptr);
// True when WriteTags can write files with this extension (".mp3").
bool CanWriteTags(const std::string& ext);

}  // namespace sonvex
