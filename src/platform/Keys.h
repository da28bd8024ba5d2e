#pragma once

#include <QString>

// The settings keys of both programs, spelled once. The store matches keys without regard to
// letter case, so the two spellings the program uses for a key are the same key.
namespace lumorra::keys {

inline const QString AppPath = QStringLiteral("AppPath");
inline const QString EXEName = QStringLiteral("EXEName");
inline const QString Version = QStringLiteral("Version");
inline const QString SystrayLoaded = QStringLiteral("SystrayLoaded");
inline const QString Systray = QStringLiteral("Systray");
inline const QString User = QStringLiteral("User");
inline const QString UserReq = QStringLiteral("UserReq");
inline const QString OLE = QStringLiteral("OLE");
inline const QString AutoZoom = QStringLiteral("AutoZoom");
inline const QString AutoSkip = QStringLiteral("AutoSkip");
inline const QString DelConfirmation = QStringLiteral("DelConfirmation");
inline const QString MoveConfirmation = QStringLiteral("MoveConfirmation");
inline const QString OnTop = QStringLiteral("OnTop");
inline const QString PicPattern = QStringLiteral("PicPattern");
inline const QString AniPattern = QStringLiteral("AniPattern");
inline const QString StartupDir = QStringLiteral("startupdir");
inline const QString DefaultCopyDir = QStringLiteral("defaultcopydir");
inline const QString AutoSkipInterval = QStringLiteral("AutoSkipInterval");
inline const QString SpcSetting = QStringLiteral("SpcSetting");

} // namespace lumorra::keys

namespace lumorra::defaults {

// The seven picture types of old first, then every further type the viewer shows (camera RAW
// last); the animation types of old, then the movie containers the player plays. A stored
// pattern is the user's and stays as it is.
inline const QString PicPattern =
    QStringLiteral("*.jpg;*.jpeg;*.bmp;*.gif;*.wmf;*.emf;*.ico;"
                   "*.png;*.webp;*.tif;*.tiff;*.tga;*.heic;*.heif;*.avif;*.jxl;"
                   "*.cr2;*.cr3;*.nef;*.nrw;*.arw;*.sr2;*.dng;*.raf;*.orf;*.rw2;*.pef;*.srw;*.3fr;"
                   "*.iiq;*.kdc");
inline const QString AniPattern =
    QStringLiteral("*.avi;*.mpg;*.mpeg;*.mov;*.viv;*.qm;*.mp4;*.mkv;*.webm;*.m4v");

} // namespace lumorra::defaults
