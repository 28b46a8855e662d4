#include "library/MediaServerFiles.h"
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "library/FilePlacer.h"
#include "library/Thumbnail.h"

using namespace Library;
using Downloader::DownloadEntry;
namespace fs = std::filesystem;

namespace
{
    std::string StringOf(const Ostrel::JsonBlock& metadata, const std::string& label)
    {
        return XGConfig::IsJsonFieldValid(metadata, label, Ostrel::STRING) ? metadata.Get(label).GetStringData() : "";
    }

    // XML 1.0 holds no control character but tab and line ends, not even escaped.
    std::string XmlText(const std::string& text)
    {
        std::string kept;
        for (const char c : text)
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                kept += c;
        return kept;
    }

    void AddText(pugi::xml_node parent, const char* name, const std::string& text)
    {
        if (!text.empty())
            parent.append_child(name).text().set(XmlText(text).c_str());
    }

    // The site's name for the id, as Kodi's scrapers name it ("youtube").
    void AddUniqueId(pugi::xml_node parent, const Ostrel::JsonBlock& metadata, const std::string& id)
    {
        if (id.empty())
            return;
        std::string site = StringOf(metadata, "extractor_key");
        if (site.empty())
            site = StringOf(metadata, "extractor");
        for (char& c : site)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        pugi::xml_node uniqueId = parent.append_child("uniqueid");
        uniqueId.append_attribute("type").set_value(XmlText(site.empty() ? "pelko" : site).c_str());
        uniqueId.append_attribute("default").set_value("true");
        uniqueId.text().set(XmlText(id).c_str());
    }

    std::string Rendered(const pugi::xml_document& document)
    {
        std::ostringstream text;
        document.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
        return text.str();
    }

    pugi::xml_node Root(pugi::xml_document& document, const char* name)
    {
        pugi::xml_node declaration = document.append_child(pugi::node_declaration);
        declaration.append_attribute("version").set_value("1.0");
        declaration.append_attribute("encoding").set_value("UTF-8");
        declaration.append_attribute("standalone").set_value("yes");
        return document.append_child(name);
    }

    // Written only where nothing is yet: the file may be the user's own.
    std::string WriteNew(const std::string& path, const std::string& content)
    {
        std::error_code error;
        if (fs::exists(path, error) || FileSystem::WriteFile(path, content))
            return "";
        return "Could not write " + path + ".";
    }

    void Add(std::string& problems, const std::string& problem)
    {
        if (!problem.empty())
            problems += (problems.empty() ? "" : " ") + problem;
    }
}

std::string MediaServerFiles::EpisodeDocument(const DownloadEntry& entry, const Ostrel::JsonBlock& metadata)
{
    pugi::xml_document document;
    pugi::xml_node episode = Root(document, "episodedetails");
    AddText(episode, "title", entry.title);
    AddText(episode, "plot", StringOf(metadata, "description"));
    const std::string date = StringOf(metadata, "upload_date");
    if (date.size() == 8)
        AddText(episode, "aired", date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2));
    AddText(episode, "studio", entry.uploader);
    AddUniqueId(episode, metadata, StringOf(metadata, "id"));
    return Rendered(document);
}

std::string MediaServerFiles::ShowDocument(const DownloadEntry& entry, const Ostrel::JsonBlock& metadata)
{
    pugi::xml_document document;
    pugi::xml_node show = Root(document, "tvshow");
    AddText(show, "title", entry.uploader);
    AddText(show, "studio", entry.uploader);
    AddUniqueId(show, metadata, StringOf(metadata, "channel_id"));
    return Rendered(document);
}

std::string MediaServerFiles::Write(const std::string& libraryDir, const std::string& placed,
                                    const DownloadEntry& entry, const Ostrel::JsonBlock& metadata, bool showFolder)
{
    const fs::path file = fs::path(libraryDir) / placed;
    const std::string stem = (file.parent_path() / file.stem()).string();
    std::string problems;
    Add(problems, WriteNew(stem + ".nfo", EpisodeDocument(entry, metadata)));

    const std::string thumbnail = Thumbnail::UrlOf(metadata);
    std::error_code error;
    if (!thumbnail.empty() && !fs::exists(stem + "-thumb.jpg", error))
        Add(problems, Thumbnail::SaveAsJpeg(thumbnail, stem + "-thumb.jpg"));

    const fs::path relative(placed);
    if (!showFolder || std::distance(relative.begin(), relative.end()) < 2)
        return problems;
    const fs::path show = fs::path(libraryDir) / *relative.begin();
    Add(problems, WriteNew((show / "tvshow.nfo").string(), ShowDocument(entry, metadata)));
    // A video's metadata names no picture of its uploader: the first video's stands in.
    if (fs::exists(stem + "-thumb.jpg", error))
        Add(problems, FilePlacer::PlaceBeside(stem + "-thumb.jpg", (show / "poster.jpg").string()));
    return problems;
}
