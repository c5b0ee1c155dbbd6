#include "platform/tags/Tags.h"

#include <taglib/aifffile.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace sonvex {

namespace {

using namespace TagLib;

std::string Lower(const std::string& s) {
    std::string r = s;
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

bool ValidUtf8(const ByteVector& v) {
    size_t i = 0;
    const size_t n = v.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(v[static_cast<unsigned int>(i)]);
        const size_t len = c < 0x80         ? 1
                           : (c >> 5) == 6  ? 2
                           : (c >> 4) == 14 ? 3
                           : (c >> 3) == 30 ? 4
                                            : 0;
        if (len == 0 || i + len > n) return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(v[static_cast<unsigned int>(i + k)]) >> 6) != 2)
                return false;
        i += len;
    }
    return true;
}

// RIFF INFO text: written as UTF-8; read as UTF-8 when valid, else as Latin-1.
class Utf8InfoHandler : public RIFF::Info::StringHandler {
public:
    String parse(const ByteVector& data) const override {
        ByteVector v = data;
        const int nul = v.find('\0');
        if (nul >= 0) v.resize(static_cast<unsigned int>(nul));
        return String(v, ValidUtf8(v) ? String::UTF8 : String::Latin1);
    }
    ByteVector render(const String& s) const override { return s.data(String::UTF8); }
};

void InstallInfoHandler() {
    static std::once_flag once;
    static Utf8InfoHandler handler;
    std::call_once(once, [] { RIFF::Info::Tag::setStringHandler(&handler); });
}

// Labels of the program that wrote the input; the output is written by another.
bool Dropped(const std::string& key) {
    return key == "ENCODING" || key == "ENCODER" || key == "ENCODEDBY" ||
           key == "ENCODERSETTINGS" || key == "ENCODER_OPTIONS";
}

void AddFields(LTags& tags, const PropertyMap& map) {
    for (const auto& [key, values] : map) {
        const std::string k = key.upper().to8Bit(true);
        if (Dropped(k) || values.isEmpty()) continue;
        std::vector<std::string> v;
        for (const auto& s : values) v.push_back(s.to8Bit(true));
        auto it = std::find_if(tags.fields.begin(), tags.fields.end(),
                               [&](const auto& f) { return f.first == k; });
        if (it != tags.fields.end())
            it->second = std::move(v);
        else
            tags.fields.emplace_back(k, std::move(v));
    }
    // Vorbis comments often call the comment DESCRIPTION, a name other formats do not map.
    const auto has = [&](const char* k) {
        return std::find_if(tags.fields.begin(), tags.fields.end(),
                            [&](const auto& f) { return f.first == k; });
    };
    if (auto d = has("DESCRIPTION"); d != tags.fields.end() && has("COMMENT") == tags.fields.end())
        d->first = "COMMENT";
    std::sort(tags.fields.begin(), tags.fields.end());
}

PropertyMap ToMap(const LTags& tags) {
    PropertyMap map;
    for (const auto& [k, values] : tags.fields) {
        StringList list;
        for (const auto& s : values) list.append(String(s, String::UTF8));
        map.insert(String(k, String::UTF8), list);
    }
    return map;
}

std::vector<uint8_t> Bytes(const ByteVector& v) {
    return {v.begin(), v.end()};
}
ByteVector ToVector(const std::vector<uint8_t>& v) {
    return ByteVector(reinterpret_cast<const char*>(v.data()), static_cast<unsigned int>(v.size()));
}

void ReadId3Pictures(LTags& tags, ID3v2::Tag* id3) {
    if (!id3) return;
    for (ID3v2::Frame* f : id3->frameList("APIC")) {
        auto* p = dynamic_cast<ID3v2::AttachedPictureFrame*>(f);
        if (!p) continue;
        tags.pictures.push_back({p->mimeType().to8Bit(true), p->description().to8Bit(true),
                                 static_cast<int>(p->type()), Bytes(p->picture())});
    }
}

void ReadFlacPictures(LTags& tags, const List<FLAC::Picture*>& list) {
    for (FLAC::Picture* p : list)
        tags.pictures.push_back({p->mimeType().to8Bit(true), p->description().to8Bit(true),
                                 static_cast<int>(p->type()), Bytes(p->data())});
}

void WriteId3(ID3v2::Tag* id3, const LTags& tags) {
    id3->setProperties(ToMap(tags));
    id3->removeFrames("APIC");
    for (const auto& pic : tags.pictures) {
        auto* f = new ID3v2::AttachedPictureFrame;
        f->setTextEncoding(String::UTF8);
        f->setMimeType(pic.mime);
        f->setDescription(String(pic.description, String::UTF8));
        f->setType(static_cast<ID3v2::AttachedPictureFrame::Type>(pic.type));
        f->setPicture(ToVector(pic.data));
        id3->addFrame(f);
    }
}

FLAC::Picture* NewFlacPicture(const LTagPicture& pic) {
    auto* p = new FLAC::Picture;
    p->setMimeType(pic.mime);
    p->setDescription(String(pic.description, String::UTF8));
    p->setType(static_cast<FLAC::Picture::Type>(pic.type));
    p->setData(ToVector(pic.data));
    return p;
}

MP4::CoverArt::Format CoverFormat(const std::string& mime) {
    const std::string m = Lower(mime);
    if (m == "image/png") return MP4::CoverArt::PNG;
    if (m == "image/jpeg" || m == "image/jpg") return MP4::CoverArt::JPEG;
    if (m == "image/gif") return MP4::CoverArt::GIF;
    if (m == "image/bmp") return MP4::CoverArt::BMP;
    return MP4::CoverArt::Unknown;
}

std::string CoverMime(MP4::CoverArt::Format f) {
    switch (f) {
        case MP4::CoverArt::PNG:
            return "image/png";
        case MP4::CoverArt::JPEG:
            return "image/jpeg";
        case MP4::CoverArt::GIF:
            return "image/gif";
        case MP4::CoverArt::BMP:
            return "image/bmp";
        default:
            return "";
    }
}

// An AIFF file with its text chunks (NAME, AUTH, ANNO, "(c) ").
class AiffFile : public RIFF::AIFF::File {
public:
    using RIFF::AIFF::File::File;
    PropertyMap TextChunks() {
        static const struct {
            const char* id;
            const char* key;
        } kChunks[] = {
            {"NAME", "TITLE"}, {"AUTH", "ARTIST"}, {"ANNO", "COMMENT"}, {"(c) ", "COPYRIGHT"}};
        PropertyMap map;
        for (unsigned int i = 0; i < chunkCount(); ++i)
            for (const auto& c : kChunks)
                if (chunkName(i) == ByteVector(c.id)) {
                    ByteVector v = chunkData(i);
                    const int nul = v.find('\0');
                    if (nul >= 0) v.resize(static_cast<unsigned int>(nul));
                    if (!v.isEmpty())
                        map.insert(c.key, String(v, ValidUtf8(v) ? String::UTF8 : String::Latin1));
                }
        return map;
    }
};

// An ADTS AAC stream with an ID3v2 tag in front, where players and decoders look for one.
class AdtsFile : public File {
public:
    explicit AdtsFile(FileName name) : File(name) {
        if (!isOpen()) {
            setValid(false);
            return;
        }
        seek(0);
        if (readBlock(3) == ID3v2::Header::fileIdentifier()) {
            tag_ = std::make_unique<ID3v2::Tag>(this, 0);
            tagSize_ = static_cast<long>(tag_->header()->completeTagSize());
        }
        // The first frame's sync word: twelve bits set, then layer 0.
        seek(tagSize_);
        const ByteVector sync = readBlock(2);
        if (sync.size() < 2 || static_cast<unsigned char>(sync[0]) != 0xFF ||
            (static_cast<unsigned char>(sync[1]) & 0xF6) != 0xF0)
            setValid(false);
    }
    Tag* tag() const override { return tag_.get(); }
    ID3v2::Tag* Id3(bool create) {
        if (!tag_ && create) tag_ = std::make_unique<ID3v2::Tag>();
        return tag_.get();
    }
    AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override {
        if (readOnly() || !isValid()) return false;
        const ByteVector data = tag_ ? tag_->render(ID3v2::v4) : ByteVector();
        insert(data, 0, static_cast<unsigned long>(tagSize_));
        tagSize_ = static_cast<long>(data.size());
        return true;
    }

private:
    std::unique_ptr<ID3v2::Tag> tag_;
    long tagSize_ = 0;
};

bool Fail(std::string* pError, const char* why) {
    if (pError) *pError = why;
    return false;
}

}  // namespace

std::string LTags::Get(const std::string& name) const {
    for (const auto& [k, v] : fields)
        if (k == name && !v.empty()) return v.front();
    return "";
}

bool CanWriteTags(const std::string& ext) {
    const std::string e = Lower(ext);
    for (const char* w : {".mp3", ".ogg", ".flac", ".m4a", ".mp4", ".aac", ".wav", ".aif", ".aiff"})
        if (e == w) return true;
    return false;
}

bool ReadTags(const std::string& path, LTags& tags, std::string* pError) {
    InstallInfoHandler();
    tags = LTags();
    const std::string ext = Extension(path);
    const FileName name(path.c_str());
    if (ext == ".mp3") {
        MPEG::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable MPEG file");
        if (f.hasID3v1Tag()) AddFields(tags, f.ID3v1Tag()->properties());
        if (f.hasAPETag()) AddFields(tags, f.APETag()->properties());
        if (f.hasID3v2Tag()) AddFields(tags, f.ID3v2Tag()->properties());
        ReadId3Pictures(tags, f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr);
    } else if (ext == ".ogg" || ext == ".oga") {
        Ogg::Vorbis::File f(name, false);
        if (!f.isValid() || !f.tag()) return Fail(pError, "not a readable Ogg Vorbis file");
        AddFields(tags, f.tag()->properties());
        ReadFlacPictures(tags, f.tag()->pictureList());
    } else if (ext == ".flac") {
        FLAC::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable FLAC file");
        if (f.hasID3v2Tag()) AddFields(tags, f.ID3v2Tag()->properties());
        if (f.hasXiphComment()) AddFields(tags, f.xiphComment()->properties());
        ReadFlacPictures(tags, f.pictureList());
    } else if (ext == ".m4a" || ext == ".mp4" || ext == ".m4b") {
        MP4::File f(name, false);
        if (!f.isValid() || !f.tag()) return Fail(pError, "not a readable MP4 file");
        AddFields(tags, f.tag()->properties());
        if (f.tag()->contains("covr"))
            for (const auto& c : f.tag()->item("covr").toCoverArtList())
                tags.pictures.push_back({CoverMime(c.format()), "", 3, Bytes(c.data())});
    } else if (ext == ".aac") {
        AdtsFile f(name);
        if (!f.isValid()) return Fail(pError, "not a readable ADTS AAC file");
        if (ID3v2::Tag* id3 = f.Id3(false)) {
            AddFields(tags, id3->properties());
            ReadId3Pictures(tags, id3);
        }
    } else if (ext == ".wav") {
        RIFF::WAV::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable WAV file");
        if (f.hasInfoTag()) AddFields(tags, f.InfoTag()->properties());
        if (f.hasID3v2Tag()) AddFields(tags, f.ID3v2Tag()->properties());
        ReadId3Pictures(tags, f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr);
    } else if (ext == ".aif" || ext == ".aiff") {
        AiffFile f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable AIFF file");
        AddFields(tags, f.TextChunks());
        if (f.hasID3v2Tag()) {
            AddFields(tags, f.tag()->properties());
            ReadId3Pictures(tags, f.tag());
        }
    } else {
        FileRef f(name, false);
        if (f.isNull()) return Fail(pError, "no tags known for this format");
        AddFields(tags, f.file()->properties());
    }
    return true;
}

bool WriteTags(const std::string& path, const LTags& tags, std::string* pError) {
    InstallInfoHandler();
    const std::string ext = Extension(path);
    const FileName name(path.c_str());
    bool ok = false;
    if (ext == ".mp3") {
        MPEG::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable MPEG file");
        WriteId3(f.ID3v2Tag(true), tags);
        f.ID3v1Tag(true);
        ok = f.save(MPEG::File::ID3v1 | MPEG::File::ID3v2, File::StripOthers, ID3v2::v4,
                    File::Duplicate);
    } else if (ext == ".ogg") {
        Ogg::Vorbis::File f(name, false);
        if (!f.isValid() || !f.tag()) return Fail(pError, "not a readable Ogg Vorbis file");
        f.tag()->setProperties(ToMap(tags));
        f.tag()->removeAllPictures();
        for (const auto& pic : tags.pictures) f.tag()->addPicture(NewFlacPicture(pic));
        ok = f.save();
    } else if (ext == ".flac") {
        FLAC::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable FLAC file");
        f.xiphComment(true)->setProperties(ToMap(tags));
        f.removePictures();
        for (const auto& pic : tags.pictures) f.addPicture(NewFlacPicture(pic));
        ok = f.save();
    } else if (ext == ".m4a" || ext == ".mp4") {
        MP4::File f(name, false);
        if (!f.isValid() || !f.tag()) return Fail(pError, "not a readable MP4 file");
        f.tag()->setProperties(ToMap(tags));
        MP4::CoverArtList covers;
        for (const auto& pic : tags.pictures)
            covers.append(MP4::CoverArt(CoverFormat(pic.mime), ToVector(pic.data)));
        if (covers.isEmpty())
            f.tag()->removeItem("covr");
        else
            f.tag()->setItem("covr", MP4::Item(covers));
        ok = f.save();
    } else if (ext == ".aac") {
        AdtsFile f(name);
        if (!f.isValid()) return Fail(pError, "not a readable ADTS AAC file");
        WriteId3(f.Id3(true), tags);
        ok = f.save();
    } else if (ext == ".wav") {
        RIFF::WAV::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable WAV file");
        f.InfoTag()->setProperties(ToMap(tags));
        WriteId3(f.ID3v2Tag(), tags);
        ok = f.save(RIFF::WAV::File::AllTags, File::StripOthers, ID3v2::v4);
    } else if (ext == ".aif" || ext == ".aiff") {
        RIFF::AIFF::File f(name, false);
        if (!f.isValid()) return Fail(pError, "not a readable AIFF file");
        WriteId3(f.tag(), tags);
        ok = f.save(ID3v2::v4);
    } else {
        return Fail(pError, "the format holds no tags");
    }
    return ok || Fail(pError, "the tags could not be saved");
}

}  // namespace sonvex
