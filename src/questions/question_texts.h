#pragma once

#include <QString>

#include "browser/browser.h"

namespace quillow {

// What the page's questions say. Everything that comes from a page or a
// server (addresses, realms, messages) is made fit to show first.

// Control characters become spaces; beyond max characters the text is cut
// short with an ellipsis.
QString fitForShowing(const QString &text, int max);
// A site as the questions name it: scheme, host and port, nothing of the
// path or of a user name; the text itself, fitted, when it is no address.
QString siteName(const QString &url);

// A page's own message as its dialog shows it: its line breaks kept, but
// at most kShownMessageLines lines and kShownMessageLength characters.
inline constexpr int kShownMessageLength = 2000;
inline constexpr int kShownMessageLines = 25;
QString fitMessage(const QString &message);

QString signInTitle();
// Names the site (or proxy) and its realm, and says when the name and
// password would travel unencrypted.
QString signInText(const QString &url, const QString &realm, const QString &proxyHost);

QString certificateTitle();
// What is wrong, in words: "its certificate has expired ...".
QString certificateProblemText(CertificateProblem problem);
// The question whether to go on to the site all the same.
QString certificateQuestionText(const QString &host, CertificateProblem problem);
// What the page shows in place of a refused site.
QString certificateNoticeText(const QString &host, CertificateProblem problem);

QString permissionTitle();
QString permissionQuestionText(const QString &origin, PermissionRequest::Feature feature);

// "<site> says", the title of a page's own dialog.
QString pageDialogTitle(const QString &origin);
QString stopDialogsText();
QString stopAskingText();

// text with a break opportunity (an invisible zero-width space) in every
// long run without one, so that it wraps within a dialog's width.
QString breakable(const QString &text);

}  // namespace quillow
