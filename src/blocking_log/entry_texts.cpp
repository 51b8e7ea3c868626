#include "blocking_log/entry_texts.h"

namespace quillow {

using filter::RequestKind;

QString BlockingLogTexts::kindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::Document:
            return tr("Page");
        case RequestKind::Subdocument:
            return tr("Frame");
        case RequestKind::Script:
            return tr("Script");
        case RequestKind::Image:
            return tr("Image");
        case RequestKind::Stylesheet:
            return tr("Style sheet");
        case RequestKind::Font:
            return tr("Font");
        case RequestKind::Media:
            return tr("Audio or video");
        case RequestKind::XmlHttpRequest:
            return tr("Data request");
        case RequestKind::Object:
            return tr("Plug-in");
        case RequestKind::WebSocket:
            return tr("WebSocket");
        case RequestKind::Ping:
            return tr("Ping");
        case RequestKind::Popup:
            return tr("Popup");
        case RequestKind::Other:
            break;
    }
    return tr("Other");
}

EntryTexts BlockingLogTexts::of(const BlockingEntry &entry) {
    using Action = BlockingEntry::Action;
    EntryTexts texts;
    switch (entry.action) {
        case Action::Refused:
            texts.what = tr("Refused");
            break;
        case Action::Redirected:
            texts.what = tr("Answered with %1").arg(entry.detail);
            break;
        case Action::Cleaned:
            texts.what = tr("Sent without tracking parameters to %1").arg(entry.detail);
            break;
        case Action::ScriptletApplied:
            texts.what = tr("Scriptlet applied: %1").arg(entry.detail);
            break;
    }
    texts.kind = kindName(entry.kind);
    texts.address = entry.address;
    texts.rule = entry.rule.isEmpty() ? tr("(no longer in the lists)") : entry.rule;
    texts.list = entry.list;
    return texts;
}

QString BlockingLogTexts::summary(const BlockingRecord &record) {
    const qsizetype n = record.entries.size();
    if (n == 0)
        return tr("Content blocking has done nothing on %1.").arg(record.page);
    if (n == 1)
        return tr("Content blocking acted on one request of %1:").arg(record.page);
    return tr("Content blocking acted on %1 requests of %2:").arg(n).arg(record.page);
}

}  // namespace quillow
