// Handing a mail with one attached file to the user's mail program. The
// message goes to xdg-email (found on PATH) as separate arguments, never
// through a shell. Any thread; the call waits for the tool, at most the
// time-out.
#pragma once

enum tagMailResult {
    MAIL_OK = 0,               // the tool took the message and ended well
    MAIL_STILL_OPEN = 1,       // the tool still ran at the time-out: a mail program
                               // in the foreground holds the message
    MAIL_ERR_ARGS = -1,        // no recipient, or one that starts with "-"
    MAIL_ERR_NO_TOOL = -2,     // xdg-email missing or not startable
    MAIL_ERR_FAILED = -3,      // the tool ended with a non-zero status or crashed
    MAIL_ERR_NO_ATTACHMENT = -4,  // the file to attach does not exist
};

constexpr int kMailTimeoutMs = 20000;

extern "C" {

// The four texts are in the local 8-bit encoding; subject, body and
// attachment may be null (no attachment then). A tagMailResult: negative
// when the mail was not handed on.
int SendMail(const char* to, const char* subject, const char* body, const char* attachment);

// The same with the time-out in milliseconds.
int SendMailWithin(const char* to, const char* subject, const char* body, const char* attachment,
                   int timeoutMs);

}
