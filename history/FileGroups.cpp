#include "history/FileGroups.h"

#include <QHash>
#include <algorithm>

namespace {
// The extensions the kinds are told by, lower case without the dot.
const char* const kRaw[] = {"3fr", "ari", "arw", "bay", "cr2", "cr3", "crw", "dcr", "dcs", "dng",
                            "erf", "fff", "iiq", "k25", "kdc", "mef", "mos", "mrw", "nef", "nrw",
                            "orf", "pef", "raf", "raw", "rw2", "rwl", "sr2", "srf", "srw", "x3f"};
const char* const kClip[] = {"3gp", "avi", "m2ts", "m4v", "mov", "mp4", "mts"};
const char* const kSidecar[] = {"aae", "thm", "xmp"};

template <size_t N> bool In(const char* const (&table)[N], QStringView ext) {
    return std::any_of(std::begin(table), std::end(table), [ext](const char* e) {
        return ext.compare(QLatin1String(e), Qt::CaseInsensitive) == 0;
    });
}

// The files of one stem, by kind.
struct TStemFiles {
    QStringList Pictures; // ordinary pictures that can be shown
    QStringList Raws;
    QStringList Clips;
    QStringList Sidecars; // "stem.xmp" and the like
};
} // namespace

TMemberKind MemberKindOf(QStringView name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return mkPicture;
    const QStringView ext = name.sliced(dot + 1);
    return In(kRaw, ext)       ? mkRaw
           : In(kClip, ext)    ? mkClip
           : In(kSidecar, ext) ? mkSidecar
                               : mkPicture;
}

QString NameStem(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? name : name.left(dot);
}

std::vector<TFileGroup> GroupFiles(const std::vector<QString>& names, const TGroupRules& rules,
                                   const std::function<bool(const QString&)>& listed) {
    std::vector<TFileGroup> groups;
    if (!rules.Group) {
        for (const QString& name : names)
            if (listed(name))
                groups.push_back({name, {}});
        return groups;
    }
    QHash<QString, TStemFiles> stems;
    QStringList namedSidecars; // "name.ext.xmp": they follow "name.ext"
    for (const QString& name : names) {
        switch (MemberKindOf(name)) {
        case mkPicture:
            if (listed(name))
                stems[NameStem(name)].Pictures << name;
            break;
        case mkRaw:
            stems[NameStem(name)].Raws << name;
            break;
        case mkClip:
            stems[NameStem(name)].Clips << name;
            break;
        case mkSidecar: {
            const QString stem = NameStem(name);
            if (NameStem(stem) != stem)
                namedSidecars << name;
            else
                stems[stem].Sidecars << name;
            break;
        }
        }
    }
    QHash<QString, size_t> groupOf; // a member's name: its group
    auto add = [&](const QString& lead, QStringList companions) {
        groupOf.insert(lead, groups.size());
        for (const QString& c : companions)
            groupOf.insert(c, groups.size());
        groups.push_back({lead, std::move(companions)});
    };
    for (auto it = stems.cbegin(); it != stems.cend(); ++it) {
        const TStemFiles& f = it.value();
        if (f.Pictures.size() == 1) {
            const bool rawLeads = rules.RawLeads && f.Raws.size() == 1 && listed(f.Raws.front());
            const QString& lead = rawLeads ? f.Raws.front() : f.Pictures.front();
            add(lead, (rawLeads ? f.Pictures : f.Raws) + f.Clips + f.Sidecars);
        } else if (f.Pictures.isEmpty() && f.Raws.size() == 1) {
            add(f.Raws.front(), f.Clips + f.Sidecars);
        } else if (f.Pictures.isEmpty() && f.Raws.isEmpty() && f.Clips.size() == 1) {
            add(f.Clips.front(), f.Sidecars);
        } else {
            // Nothing to tell which picture the others belong to.
            for (const QStringList* kind : {&f.Pictures, &f.Raws, &f.Clips, &f.Sidecars})
                for (const QString& name : *kind)
                    add(name, {});
        }
    }
    for (const QString& sidecar : namedSidecars) {
        const auto owner = groupOf.constFind(NameStem(sidecar));
        if (owner != groupOf.cend())
            groups[*owner].Companions << sidecar;
        else
            add(sidecar, {});
    }
    std::erase_if(groups, [&](const TFileGroup& g) { return !listed(g.Lead); });
    for (TFileGroup& g : groups)
        g.Companions.sort();
    return groups;
}

QString CompanionMark(const QString& lead, const QStringList& companions) {
    const qsizetype skip = NameStem(lead).size() + 1;
    QStringList marks;
    for (const QString& c : companions)
        marks << QLatin1Char('+') + c.mid(skip);
    return marks.join(QLatin1Char(' '));
}

QString GroupLabel(const QString& lead, const QStringList& companions) {
    return companions.isEmpty() ? lead : lead + QLatin1Char(' ') + CompanionMark(lead, companions);
}

QString GroupNumberedName(const QString& member, const QString& stem, int n) {
    return stem + QStringLiteral(" (%1)").arg(n) + member.mid(stem.size());
}
