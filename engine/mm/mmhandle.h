// Handle checks shared by the exported MM functions.
#pragma once

class CMusicManage;
class CMusicObj;

// The manager behind handle: null for null, and for a handle that is not
// the live manager (one already destroyed), which must not be touched.
CMusicManage* ManagerOf(void* handle);

inline CMusicObj* TrackOf(void* music)
{
    return static_cast<CMusicObj*>(music);
}
