#pragma once

#include "core/KeyedList.h"

#include <QHash>
#include <QIcon>
#include <QPair>
#include <QString>

// The tree's image list: small pictures addressed by text key, in the order
// they were added. The first four are the state marks, drawn here; "*File",
// "*Folder", "*Drive" and the per-path keys are added by the window.
class TreeImages
{
  public:
    static inline const QString Yellow = QStringLiteral("*Yellow");
    static inline const QString Green = QStringLiteral("*Green");
    static inline const QString Magenta = QStringLiteral("*Magenta");
    static inline const QString Hand = QStringLiteral("*Hand");

    TreeImages();

    bool Exists(const QString& key) const { return m_images.PositionOf(key) != 0; }
    // Nothing changes when the key is already present.
    void Add(const QString& key, const QIcon& icon);
    // Image key drawn over by image mark (a null icon for an unknown key).
    void AddOverlay(const QString& key, const QString& baseKey, const QString& markKey);
    QIcon Icon(const QString& key) const;
    int Count() const { return m_images.Count(); }
    // 1-based, as the list counts.
    void RemoveAt(int position) { m_images.Remove(position); }

  private:
    KeyedList<QIcon> m_images;
    // Drawn overlays by base picture and mark: paths that share a picture share these too.
    QHash<QPair<qint64, QString>, QIcon> m_overlays;
};
