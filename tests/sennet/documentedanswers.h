// Answers in the shape the services' own documentation shows, with what
// real ones hold: several recordings of one song, the first on a
// compilation, now and then one of another song, and free-form tags that
// are not genres.
#pragma once

#include <QByteArray>
#include <QString>

namespace documented {

// The recording and album the lookup answer below is about; the fake
// services answer the metadata paths of these.
inline constexpr char kAlbumRecording[] = "aaaaaaaa-0000-4000-8000-000000000001";
inline constexpr char kAlbumGroup[] = "bbbbbbbb-0000-4000-8000-000000000001";

// One result of the lookup service with meta=recordings releasegroups
// sources: one song on a various-artists compilation, a live album and,
// listed last, its studio album, whose recording is credited to two
// artists and confirmed by the most sources.
inline QByteArray compilationFirstResult(double score)
{
    return R"json({"id": "dddddddd-0000-4000-8000-000000000001", "score": )json" + QByteArray::number(score) + R"json(,
      "recordings": [
        {"id": "aaaaaaaa-0000-4000-8000-000000000003", "title": "Tidewater (2011 remaster)", "duration": 239, "sources": 6,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000003", "title": "Seventies Gold: 40 Hits",
                            "type": "Album", "secondarytypes": ["Compilation"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000009", "name": "Various Artists"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000002", "title": "Tidewater", "duration": 251, "sources": 2,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000002", "title": "Live at the Boathouse",
                            "type": "Album", "secondarytypes": ["Live"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000001", "title": "Tidewater", "duration": 240, "sources": 41,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe", "joinphrase": " & "},
                     {"id": "cccccccc-0000-4000-8000-000000000002", "name": "The Shoals"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000004", "title": "Tidewater", "type": "Single",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]},
                           {"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "North Shore", "type": "Album",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}]}]}]})json";
}

// The lookup answer of that result alone; the service lists results from
// a score of 0.4 up.
inline QByteArray compilationFirstLookup(double score = 0.97)
{
    return R"({"status": "ok", "results": [)" + compilationFirstResult(score) + "]}";
}

// The best result is a fingerprint no recording is linked to yet; that
// result follows it.
inline QByteArray recordinglessFirstLookup(double score)
{
    return R"({"status": "ok", "results": [{"id": "dddddddd-0000-4000-8000-000000000002", "score": 1.0}, )"
           + compilationFirstResult(score) + "]}";
}

// A result whose recordings are the song on compilations only, listed
// after one recording of another song on a plain album: the song's
// recordings are told apart from it by the sources that confirm them, and
// one of them spells title and artist in other letter case.
inline QByteArray anotherSongBesideCompilationsLookup()
{
    return R"json({"status": "ok", "results": [{"id": "dddddddd-0000-4000-8000-000000000003", "score": 0.94,
      "recordings": [
        {"id": "aaaaaaaa-0000-4000-8000-000000000005", "title": "Lighthouse Keeper", "duration": 212, "sources": 1,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000005", "name": "Mara Quell"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000005", "title": "Open Water", "type": "Album",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000005", "name": "Mara Quell"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000003", "title": "Tidewater", "duration": 240, "sources": 28,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000003", "title": "Hits of the Seventies",
                            "type": "EP", "secondarytypes": ["Compilation"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000009", "name": "Various Artists"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000001", "title": "TIDEWATER", "duration": 241, "sources": 4,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "ansel ruhe"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "Seventies Gold: 40 Hits",
                            "type": "Album", "secondarytypes": ["Compilation"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000009", "name": "Various Artists"}]}]}]}]})json";
}

// A result whose song, confirmed by the most sources, is on a compilation,
// while its recording on the studio album spells title and artist as given:
// the same words in another Unicode form or with other quote marks.
inline QByteArray spelledOtherwiseLookup(const QString& title, const QString& artist, const QString& albumsTitle,
                                         const QString& albumsArtist)
{
    const auto json = [](QString text) {
        return text.replace('\\', QLatin1String("\\\\")).replace('"', QLatin1String("\\\""));
    };
    return QString::fromUtf8(R"json({"status": "ok", "results": [{"id": "dddddddd-0000-4000-8000-000000000004", "score": 0.93,
      "recordings": [
        {"id": "aaaaaaaa-0000-4000-8000-000000000003", "title": "%1", "duration": 240, "sources": 30,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "%2"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000003", "title": "Seventies Gold: 40 Hits",
                            "type": "Album", "secondarytypes": ["Compilation"],
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000009", "name": "Various Artists"}]}]},
        {"id": "aaaaaaaa-0000-4000-8000-000000000001", "title": "%3", "duration": 240, "sources": 3,
         "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "%4"}],
         "releasegroups": [{"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "North Shore", "type": "Album",
                            "artists": [{"id": "cccccccc-0000-4000-8000-000000000001", "name": "%4"}]}]}]}]})json")
        .arg(json(title), json(artist), json(albumsTitle), json(albumsArtist))
        .toUtf8();
}

// The metadata service's recording search (/ws/2/recording?query=...): the
// song on a compilation, on its studio album in two editions, and a live
// recording; a weak match of another song last.
inline QByteArray recordingSearch(const QString& title = QStringLiteral("Tidewater"),
                                  const QString& artist = QStringLiteral("Ansel Ruhe"))
{
    return QString::fromUtf8(R"json({"created": "2024-05-02T10:11:12.345Z", "count": 3, "offset": 0, "recordings": [
      {"id": "aaaaaaaa-0000-4000-8000-000000000001", "score": 100, "title": "%1", "length": 240000, "video": null,
       "artist-credit": [{"name": "%2", "joinphrase": "", "artist": {"id": "cccccccc-0000-4000-8000-000000000001",
                          "name": "Ansel Ruhe", "sort-name": "Ruhe, Ansel"}}],
       "first-release-date": "1977-03-04",
       "releases": [
         {"id": "ffffffff-0000-4000-8000-000000000003", "status-id": "4e304316-386d-3409-af2e-78857eec5cfe",
          "count": 1, "title": "Seventies Gold: 40 Hits", "status": "Official",
          "artist-credit": [{"name": "Various Artists", "artist": {"id": "cccccccc-0000-4000-8000-000000000009",
                             "name": "Various Artists"}}],
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000003", "type-id": "f529b476-6e62-324f-b0aa-1f3e33d313fc",
                            "primary-type-id": "f529b476-6e62-324f-b0aa-1f3e33d313fc", "title": "Seventies Gold: 40 Hits",
                            "primary-type": "Album", "secondary-types": ["Compilation"],
                            "secondary-type-ids": ["dd2a21e1-0c00-3729-a7a0-de60b84eb5d1"]},
          "date": "1999", "country": "GB", "track-count": 40,
          "media": [{"position": 1, "format": "CD", "track": [{"id": "99999999-0000-4000-8000-000000000001",
                     "number": "7", "title": "%1", "length": 240000}], "track-count": 20, "track-offset": 6}]},
         {"id": "ffffffff-0000-4000-8000-000000000001", "status-id": "4e304316-386d-3409-af2e-78857eec5cfe",
          "count": 1, "title": "North Shore", "status": "Official",
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000001", "type-id": "f529b476-6e62-324f-b0aa-1f3e33d313fc",
                            "primary-type-id": "f529b476-6e62-324f-b0aa-1f3e33d313fc", "title": "North Shore",
                            "primary-type": "Album"},
          "date": "1977-03-04", "country": "GB", "track-count": 10},
         {"id": "ffffffff-0000-4000-8000-000000000002", "status-id": "4e304316-386d-3409-af2e-78857eec5cfe",
          "count": 1, "title": "North Shore (deluxe edition)", "status": "Official",
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000001", "primary-type": "Album",
                            "title": "North Shore"},
          "date": "2011-06-01", "country": "XW", "track-count": 14}]},
      {"id": "aaaaaaaa-0000-4000-8000-000000000002", "score": 62, "title": "%1", "length": 251000,
       "artist-credit": [{"name": "%2", "joinphrase": "", "artist": {"id": "cccccccc-0000-4000-8000-000000000001", "name": "Ansel Ruhe"}}],
       "releases": [
         {"id": "ffffffff-0000-4000-8000-000000000004", "title": "Live at the Boathouse", "status": "Official",
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000002", "title": "Live at the Boathouse",
                            "primary-type": "Album", "secondary-types": ["Live"]}}]},
      {"id": "aaaaaaaa-0000-4000-8000-000000000007", "score": 41, "title": "Tidewaters", "length": 198000,
       "artist-credit": [{"name": "Ansel Rue", "artist": {"id": "cccccccc-0000-4000-8000-000000000007", "name": "Ansel Rue"}}],
       "releases": [
         {"id": "ffffffff-0000-4000-8000-000000000007", "title": "Demos", "status": "Bootleg",
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000007", "title": "Demos", "primary-type": "Album"}}]}]})json")
        .arg(title, artist)
        .toUtf8();
}

// The recording search for "Hocus Pocus" by "Focus": the song's own
// recording, on a single the cover archive has no front image of, and a
// medley that begins with it, on a compilation that has one.
inline QByteArray medleySearch()
{
    return R"json({"created": "2024-05-02T10:11:12.345Z", "count": 2, "offset": 0, "recordings": [
      {"id": "aaaaaaaa-0000-4000-8000-000000000011", "score": 100, "title": "Hocus Pocus", "length": 403000,
       "artist-credit": [{"name": "Focus", "joinphrase": "", "artist": {"id": "cccccccc-0000-4000-8000-000000000011",
                          "name": "Focus", "sort-name": "Focus"}}],
       "releases": [
         {"id": "ffffffff-0000-4000-8000-000000000011", "title": "Hocus Pocus", "status": "Official",
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000011", "title": "Hocus Pocus",
                            "primary-type": "Single"}}]},
      {"id": "aaaaaaaa-0000-4000-8000-000000000012", "score": 76, "title": "Hocus Pocus / Sylvia (medley)", "length": 512000,
       "artist-credit": [{"name": "Focus", "joinphrase": "", "artist": {"id": "cccccccc-0000-4000-8000-000000000011",
                          "name": "Focus", "sort-name": "Focus"}}],
       "releases": [
         {"id": "ffffffff-0000-4000-8000-000000000012", "title": "Dutch Rock Classics", "status": "Official",
          "artist-credit": [{"name": "Various Artists", "artist": {"id": "cccccccc-0000-4000-8000-000000000009",
                             "name": "Various Artists"}}],
          "release-group": {"id": "bbbbbbbb-0000-4000-8000-000000000001", "title": "Dutch Rock Classics",
                            "primary-type": "Album", "secondary-types": ["Compilation"]}}]}]})json";
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

// The lookup service's error answer when it is asked too often.
inline constexpr char kLookupBusy[] =
    R"({"status": "error", "error": {"code": 14, "message": "rate limit (3 requests per second) exceeded, try again later"}})";

// The cover archive answers an error with a page of its own.
inline constexpr char kArchiveBusyPage[] =
    "<!doctype html>\n<html lang=en>\n<title>503 Service Unavailable</title>\n"
    "<h1>Service Unavailable</h1>\n<p>Too many requests, slow down.</p>\n";

// What a captive portal or a filtering proxy answers in the service's
// place, with status 200.
inline constexpr char kPortalPage[] =
    "<!DOCTYPE html>\n<html><head><title>Network sign-in</title></head>\n"
    "<body><h1>Welcome</h1><p>Please sign in to use this network.</p></body></html>\n";

// A proxy's answer when the service behind it did not answer.
inline constexpr char kBadGatewayPage[] =
    "<html>\n<head><title>502 Bad Gateway</title></head>\n<body>\n<center><h1>502 Bad Gateway</h1></center>\n"
    "</body>\n</html>\n";

} // namespace documented
