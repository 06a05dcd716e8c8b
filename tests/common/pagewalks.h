// The main window's walks over an analysed library, for tests and
// benchmarks that feed the report and duplicate pages as the window's
// analysis thread does. Each runs on the calling thread; call it from a
// worker to be faithful to the window.
#pragma once

#include "cadenzo.h"
#include "musiclink.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"

#include <functional>

namespace pagewalk {

// The report page's walk: the analysis mask first, then every track with a
// problem the mask asks about, counted and handed to AddReportItem.
// afterEach(i) runs after track i, problem or not.
inline void reportProblems(CMusicLink& link, CAnalyReport& report, int mask,
                           const std::function<void(int)>& afterEach = {})
{
    report.m_iAnalyzeMask = mask;
    const int count = link.GetMusicCountAMode(nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeat = 0;
        if (link.GetMusicListMusic(i, &track, absence, state, repeat) == 0
            && (absence & mask & (MF_FILE | MF_ARTWORK | MF_ARTIST | MF_ALBUM))) {
            ++report.m_iProblemNum;
            report.AddReportItem(track, absence, state, repeat, true);
        }
        if (afterEach)
            afterEach(i);
    }
}

// The duplicate page's walk: every track the scan marked a duplicate.
inline void duplicates(CMusicLink& link, CDuplicate& page)
{
    const int count = link.GetMusicCountAMode(nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeat = 0;
        if (link.GetMusicListMusic(i, &track, absence, state, repeat) == 0 && (absence & AT_DUPLICATE))
            page.AddDuplicateItem(track, absence, state, repeat);
    }
}

} // namespace pagewalk
