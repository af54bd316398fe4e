#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Files of one folder that share a name stem travel together: one lead
// picture and its companions (the raw file of a RAW+JPEG pair, the sidecars
// of an editor, the clip of a Live Photo). These are the naming rules alone;
// they read no folder.

// What a file is to a group, by its extension (any case).
enum TMemberKind {
    mkPicture, // an ordinary picture (JPEG, PNG, HEIC...), or anything else
    mkRaw,     // a camera's raw file
    mkClip,    // a short film (the clip of a Live Photo)
    mkSidecar, // edits and metadata: .xmp, .aae, .thm
};
TMemberKind MemberKindOf(QStringView name);

// The name without its last extension: "IMG_0001" for "IMG_0001.JPG",
// "IMG_0001.CR2" for "IMG_0001.CR2.xmp".
QString NameStem(const QString& name);

struct TFileGroup {
    QString Lead;           // the file listed and shown
    QStringList Companions; // the others, sorted by name
    bool operator==(const TFileGroup&) const = default;
};

struct TGroupRules {
    bool Group = true;     // same-named files are one item
    bool RawLeads = false; // a raw beside an ordinary picture is the one shown
};

// The items of a folder holding the files `names` (no folders, no dangling
// links), in no particular order. `listed` answers whether a file's
// extension can be shown; a group is listed only when its lead can be.
// A stem joins: one ordinary picture (that can be shown) with its raws,
// clips and sidecars; without one, one raw with its clips and sidecars;
// without either, one clip with its sidecars. A "name.ext.xmp" joins the
// item of "name.ext". Two ordinary pictures (or two raws) of a stem are
// never joined: each is its own item, and the stem's other files stay
// alone. Names are compared exactly, so stems differing in case are apart.
std::vector<TFileGroup> GroupFiles(const std::vector<QString>& names, const TGroupRules& rules,
                                   const std::function<bool(const QString&)>& listed);

// The marks of a group's companions as the list shows them beside the lead:
// "+CR2 +xmp" (each companion's name after the lead's stem and its dot).
QString CompanionMark(const QString& lead, const QStringList& companions);
// The lead's name followed by its marks: "IMG_0001.JPG +CR2 +xmp".
QString GroupLabel(const QString& lead, const QStringList& companions);

// A member's name with the group's number after the stem the members
// share: "IMG_0001.CR2" with stem "IMG_0001" and 2 gives "IMG_0001 (2).CR2",
// so a pair kept beside another stays a pair.
QString GroupNumberedName(const QString& member, const QString& stem, int n);
