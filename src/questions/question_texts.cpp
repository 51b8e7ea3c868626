#include "questions/question_texts.h"

#include <QCoreApplication>
#include <QUrl>

#include "text/shortened.h"

namespace quillow {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("Questions", text);
}

constexpr int kShownSiteLength = 200;
constexpr int kShownRealmLength = 200;

}  // namespace

QString fitForShowing(const QString &text, int max) {
    QString out = text.left(max + 1);
    for (QChar &c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return shortened(out, max);
}

QString fitMessage(const QString &message) {
    QStringList lines = message.left(kShownMessageLength + 1).split(QLatin1Char('\n'));
    const bool cut = lines.size() > kShownMessageLines || message.size() > kShownMessageLength;
    lines = lines.mid(0, kShownMessageLines);
    for (QString &line : lines)
        line = fitForShowing(line, kShownMessageLength);
    return shortened(lines.join(QLatin1Char('\n')), kShownMessageLength, cut);
}

QString siteName(const QString &url) {
    const QUrl u(url);
    if (!u.isValid() || u.host().isEmpty())
        return fitForShowing(url, kShownSiteLength);
    return fitForShowing(u.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemovePath |
                                           QUrl::RemoveQuery | QUrl::RemoveFragment),
                         kShownSiteLength);
}

QString signInTitle() {
    return tr("Sign In");
}

QString signInText(const QString &url, const QString &realm, const QString &proxyHost) {
    QString text = proxyHost.isEmpty()
                       ? tr("%1 asks for a user name and password.").arg(siteName(url))
                       : tr("The proxy %1 asks for a user name and password to reach %2.")
                             .arg(fitForShowing(proxyHost, kShownSiteLength), siteName(url));
    if (!realm.isEmpty())
        text += QLatin1Char('\n') +
                tr("The site says: \"%1\"").arg(fitForShowing(realm, kShownRealmLength));
    // A proxy is reached over plain HTTP, whatever the site's own scheme.
    if (!proxyHost.isEmpty() || QUrl(url).scheme() != QLatin1String("https"))
        text += QLatin1String("\n\n") +
                tr("The connection is not encrypted: others on the way can read the name and "
                   "password.");
    return text;
}

QString certificateTitle() {
    return tr("Certificate Problem");
}

QString certificateProblemText(CertificateProblem problem) {
    switch (problem) {
        case CertificateProblem::NameMismatch:
            return tr("its certificate was issued for a different site");
        case CertificateProblem::DateInvalid:
            return tr("its certificate has expired or is not valid yet");
        case CertificateProblem::UntrustedAuthority:
            return tr(
                "its certificate was not issued by an authority this computer trusts (it "
                "may have signed it itself)");
        case CertificateProblem::Revoked:
            return tr("its certificate has been withdrawn by its issuer");
        case CertificateProblem::WeakSecurity:
            return tr("its certificate or connection uses weak, outdated security");
        case CertificateProblem::Invalid:
            break;
    }
    return tr("its certificate is not valid");
}

QString certificateQuestionText(const QString &host, CertificateProblem problem) {
    const QString name = fitForShowing(host, kShownSiteLength);
    return tr("The connection to %1 is not secure: %2.\n\nSomeone may be pretending to be this "
              "site. Continue to %1 anyway, until Quillow ends?")
        .arg(name, certificateProblemText(problem));
}

QString certificateNoticeText(const QString &host, CertificateProblem problem) {
    return tr("%1 was not opened because the connection to it is not secure: %2.")
        .arg(fitForShowing(host, kShownSiteLength), certificateProblemText(problem));
}

QString permissionTitle() {
    return tr("Permission");
}

QString permissionQuestionText(const QString &origin, PermissionRequest::Feature feature) {
    using Feature = PermissionRequest::Feature;
    QString wish;
    switch (feature) {
        case Feature::Location:
            wish = tr("know your location");
            break;
        case Feature::Notifications:
            wish = tr("show notifications");
            break;
        case Feature::Camera:
            wish = tr("use your camera");
            break;
        case Feature::Microphone:
            wish = tr("use your microphone");
            break;
        case Feature::CameraAndMicrophone:
            wish = tr("use your camera and microphone");
            break;
        case Feature::ScreenCapture:
            wish = tr("see your screen");
            break;
        case Feature::ScreenAndAudioCapture:
            wish = tr("see your screen and hear its sound");
            break;
        case Feature::MouseLock:
            wish = tr("take over and hide your mouse pointer");
            break;
    }
    return tr("%1 wants to %2.\n\nAllow it? The answer holds for this site until Quillow ends.")
        .arg(siteName(origin), wish);
}

QString pageDialogTitle(const QString &origin) {
    return tr("%1 says").arg(siteName(origin));
}

QString stopDialogsText() {
    return tr("Stop this page's dialogs");
}

QString stopAskingText() {
    return tr("Stop this page's questions about other programs");
}

QString breakable(const QString &text) {
    constexpr int kRun = 30;
    QString out;
    out.reserve(text.size() + text.size() / kRun);
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kRun) {
            out.append(QChar(0x200B));
            run = 1;
        }
        out.append(c);
    }
    return out;
}

}  // namespace quillow
