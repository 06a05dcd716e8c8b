// What the analysis thread hands the report page of one track: the row's
// texts copied from the engine, and where the row goes. Plain data; any
// thread.
#pragma once

#include <QString>

class CMusicLink;

// What the report shows of one track, copied from the engine so that a row
// never reads a track while it is painted.
struct CReportRow
{
    void* track = nullptr;
    int absence = 0;
    bool hasInfo = false;  // false: the engine had no working copy
    QString name;
    QString time;          // formatted duration
    QString artist;
    QString album;
    QString path;
    QString persistentId;

    // Reads the working copy of track through link.
    static CReportRow Read(CMusicLink* link, void* track, int absence);
};

// One AddReportItem call, prepared on the analysis thread.
struct CReportDelivery
{
    // A track, or the end of the analysis asking for the page and its score
    // once every track before it is in.
    enum EKind { TRACK, SHOW, SHOW_SELECT, SCORE };
    EKind kind = TRACK;
    int run = 0;  // the inbox's run when the track was read
    CReportRow row;
    int state = 0;
    bool unwritable = false;
    bool artist = false;
    bool album = false;
    bool artwork = false;
    QString artworkPath;  // the tile's picture, saved; empty: not fixed
};
