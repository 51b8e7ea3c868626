// Another program sharing a favorites file: adds argv[2] to the list in
// argv[1], or removes the entry argv[2] names when it starts with "-".
// Exits 0 when the save worked.

#include <QCoreApplication>

#include "favorites/favorites_list.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    quillow::FavoritesList list(QString::fromLocal8Bit(argv[1]));
    list.load();
    list.waitForLoad();
    const QString entry = QString::fromLocal8Bit(argv[2]);
    const auto result = entry.startsWith(QLatin1Char('-'))
                            ? list.remove(list.texts().indexOf(entry.mid(1)))
                            : list.add(entry);
    return result.saved() ? 0 : 1;
}
