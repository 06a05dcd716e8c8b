// Answers in the shape the services' own documentation shows, with what
// real ones hold: several recordings of one song, the first on a
// compilation, and free-form tags that are not genres.
#pragma once

#include <QByteArray>

namespace documented {

// The recording and album the lookup answer below is about; the fake
// services answer the metadata paths of these.
inline constexpr char kAlbumRecording[] = "aaaaaaaa-0000-4000-8000-000000000001";
inline constexpr char kAlbumGroup[] = "bbbbbbbb-0000-4000-8000-000000000001";

// The lookup service with meta=recordings releasegroups: one song on a
// various-artists compilation, a live album and, listed last, its studio
// album, whose recording is credited to two artists.
inline QByteArray compilationFirstLookup()
{
    return R"json({"status": "ok", "results": [{"id": "dddddddd-0000-4000-8000-000000000001", "score": 0.97,
      "recordings": [
        {"id": "aaaaaaaa-0000-4000-8000-000000000003", "title": "Tidewater (2011 remaster)", "duration": 239,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000003", "title": "Seventies Gold: 40 Hits",
                            "type": "Album", "secondarytypes": ["Compilation"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000009", "name": "Various Artists"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000002", "title": "Tidewater", "duration": 251,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000002", "title": "Live at the Boathouse",
                            "type": "Album", "secondarytypes": ["Live"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000001", "title": "Tidewater", "duration": 240,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe", "joinphrase": " & "},
                     {"id": "cccccccc-0000-4000-8000-000000000002", "name": "The Shoals"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000004", "title": "Tidewater", "type": "Single",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]},
                           {"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "North Shore", "type": "Album",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]}]}]}]})json";
}

// Name lists of the metadata service's answers (inc=genres+tags).
inline constexpr char kNone[] = "[]";
inline constexpr char kSoftRock[] =
    R"([{"id": "eeeeeeee-0000-4000-8000-000000000001", "name": "soft rock", "count": 3, "disambiguation": ""}])";
inline constexpr char kListenerTags[] = R"([{"name": "seen live", "count": 4}, {"name": "70s", "count": 2}])";
inline constexpr char kFormatTag[] = R"([{"name": "format-dvd-video", "count": 1}])";

// The metadata service's recording answer.
inline QByteArray recording(const char* genres, const char* tags)
{
    return QByteArray(R"({"id": "aaaaaaaa-0000-4000-8000-000000000001", "title": "Tidewater", "length": 240000,
      "disambiguation": "", "video": false, "first-release-date": "1977-03-04", "genres": )")
           + genres + R"(, "tags": )" + tags + "}";
}

// The metadata service's release-group answer.
inline QByteArray releaseGroup(const char* genres, const char* tags)
{
    return QByteArray(R"({"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "North Shore",
      "primary-type": "Album", "primary-type-id": "ffffffff-0000-4000-8000-000000000001",
      "secondary-types": [], "secondary-type-ids": [], "disambiguation": "",
      "first-release-date": "1977-02", "genres": )")
           + genres + R"(, "tags": )" + tags + "}";
}

// The metadata service's error answer.
inline constexpr char kRateLimited[] =
    R"({"error": "Your requests are exceeding the allowable rate limit.", "help": "For usage, please see: https://musicbrainz.org/development/mmd"})";

// The cover archive answers an error with a page of its own.
inline constexpr char kArchiveBusyPage[] =
    "<!doctype html>\n<html lang=en>\n<title>503 Service Unavailable</title>\n"
    "<h1>Service Unavailable</h1>\n<p>Too many requests, slow down.</p>\n";

} // namespace documented
