#include "spi/SPIs.h"
#include "spi/SPIWine.h"

#include "platform/DirectoryList.h"
#include "platform/FileAccess.h"
#include "platform/FileName.h"
#include "platform/FileNameRules.h"
#include "toolkit/Picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <utility>

TSPIs* ActiveSPIs = nullptr;
TGraphicClass DefaultGraphicClass = nullptr;

namespace {

const char* const WindowsPluginDir = "/usr/lib/susie";
const int WarmUpDelayMs = 500;

} // namespace

// ---- Rules -------------------------------------------------------------------

namespace SPIRules {

QString AddSlash(const QString& directory) {
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/')))
        return directory;
    return directory + QLatin1Char('/');
}

QStringList RegistrationExtensions(const QString& line) {
    QStringList result;
    QString rest = line;
    while (!rest.isEmpty()) {
        QString pattern;
        const int semicolon = rest.lastIndexOf(QLatin1Char(';'));
        if (semicolon >= 0) {
            pattern = rest.mid(semicolon + 1);
            rest.truncate(semicolon);
        } else {
            pattern = rest;
            rest.clear();
        }
        const int dot = pattern.indexOf(QLatin1Char('.'));
        result << (dot >= 0 ? pattern.mid(dot + 1) : pattern);
    }
    return result;
}

// The libraries the bundled plug-ins link, one line each.
const TPluginPackage PluginPackages[] = {
    {"libheif.so.1", "libheif1", "HEIC/HEIF/AVIF"},
    {"libjxl.so.0.7", "libjxl0.7", "JPEG XL"},
    {"libjxl_threads.so.0.7", "libjxl0.7", "JPEG XL"},
};

const TPluginPackage* MissingPackage(const QString& loadError) {
    // The loader's message starts with the library it missed, by its name
    // (not found) or its path (found but unusable), and a colon.
    const QString library = loadError.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('/'), -1);
    for (const TPluginPackage& package : PluginPackages)
        if (loadError.contains(QLatin1Char(':')) && library == QLatin1String(package.Library))
            return &package;
    return nullptr;
}

QString MissingPackageText(const TPluginPackage& package) {
    return QStringLiteral("%1 の画像を表示するにはパッケージ %2 を入れてください")
        .arg(QString::fromUtf8(package.Formats), QString::fromUtf8(package.Package));
}

} // namespace SPIRules

// ---- Life ----------------------------------------------------------------------

TSPIs::TSPIs(QObject* owner) : QObject(owner) {
    if (ActiveSPIs)
        throw ESPIDupCreateSPIs(QStringLiteral("TSPIs は複数生成できません"));
    ActiveSPIs = this;
    WinePlugins().Attach({this,
                          [this](const QString& text) {
                              if (OnNotice)
                                  OnNotice(text);
                          },
                          [this] { AddLearned(); }});
}

TSPIs::~TSPIs() {
    WinePlugins().Detach(this);
    if (ActiveSPIs == this)
        ActiveSPIs = nullptr;
    ClearPlugins();
}

void TSPIs::Loaded() {
    if (!AutoSearch)
        return;
    SearchPlugins(QStringLiteral("*.sp[ih]"));
    // The hosts of Windows plug-ins start once the window is up, so that
    // the start does not share the processor with Wine; a picture asked
    // for before that starts its host itself.
    QTimer::singleShot(WarmUpDelayMs, this, [this] {
        for (const auto& plugin : List)
            plugin->WarmUpHost();
    });
}

void TSPIs::SetDefaultGraphicClass(TGraphicClass cls) {
    DefaultGraphicClass = cls;
}

// ---- The list ------------------------------------------------------------------

TSPI* TSPIs::Plugins(int index) const {
    if (index < 0 || index >= PluginCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return List[size_t(index)].get();
}

void TSPIs::AddPlugin(std::unique_ptr<TSPI> plugin) {
    InsertPlugin(PluginCount(), std::move(plugin));
}

void TSPIs::InsertPlugin(int index, std::unique_ptr<TSPI> plugin) {
    if (!plugin)
        return;
    if (index < 0 || index > PluginCount())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    TSPI* added = plugin.get();
    List.insert(List.begin() + index, std::move(plugin));
    if (!added->InheritsFrom(TInSPI::StaticClass()))
        return;
    try {
        RegisterFormats(static_cast<TInSPI*>(added));
    } catch (...) {
        // A plug-in whose registration failed is not kept: take it out again
        // so nobody holds it once the caller's clean-up frees it.
        DeletePlugin(index);
        throw;
    }
}

void TSPIs::DeletePlugin(int index) {
    TSPI* plugin = Plugins(index);
    if (GraphicForcedLoader == plugin)
        GraphicForcedLoader = nullptr;
    Serials.remove(plugin);
    List.erase(List.begin() + index);
}

void TSPIs::ClearPlugins() {
    while (PluginCount() > 0)
        DeletePlugin(0);
}

int TSPIs::IndexOfPlugin(const QString& fileName) const {
    for (int i = 0; i < PluginCount(); ++i)
        if (SameTextAZ(List[size_t(i)]->ModuleFileName(), fileName))
            return i;
    return -1;
}

// ---- Registration --------------------------------------------------------------

void TSPIs::RegisterFormats(TInSPI* plugin) {
    const QStringList& lines = plugin->Extensions();
    const QStringList& descriptions = plugin->Descriptions();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TGraphicClass cls = DefaultGraphicClass; // a veto holds for the rest of the line
        const QString description = descriptions.value(i);
        for (const QString& extension : SPIRules::RegistrationExtensions(lines[i])) {
            if (OnPictureRegister)
                OnPictureRegister(this, plugin, extension, description, cls);
            if (cls)
                TPicture::RegisterFileFormat(extension, description, cls);
        }
    }
}

// ---- Search --------------------------------------------------------------------

QString TSPIs::PlaceDirectory(TSPISearchOption option) const {
    switch (option) {
    case spsSusieDir: {
        QSettings settings(QStringLiteral("Mirabo"), QStringLiteral("Susie"));
        if (settings.status() != QSettings::NoError)
            return QString();
        return settings.value(QStringLiteral("Plug-in/Path")).toString();
    }
    case spsAppDir:
        if (char* exe = ::realpath("/proc/self/exe", nullptr)) {
            const QString path = PathFromBytes(exe);
            ::free(exe);
            return path.left(path.lastIndexOf(QLatin1Char('/')));
        }
        return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    case spsCurrentDir:
        if (char* cwd = ::getcwd(nullptr, 0)) {
            const QString path = PathFromBytes(cwd);
            ::free(cwd);
            return path;
        }
        return QDir::currentPath();
    case spsSystemDir:
        return QStringLiteral(VELMO_PLUGIN_DIR);
    case spsWindowsDir:
        return QString::fromLatin1(WindowsPluginDir);
    }
    return QString();
}

void TSPIs::SearchPlugins(const QString& mask) {
    const int slash = mask.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        SearchDirectory(SPIRules::AddSlash(mask.left(slash + 1)), mask.mid(slash + 1));
        return;
    }
    for (TSPISearchOption option :
         {spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir}) {
        if (!SearchOptions.Contains(option))
            continue;
        const QString directory = PlaceDirectory(option);
        if (directory.isEmpty())
            continue;
        SearchDirectory(SPIRules::AddSlash(directory), mask);
    }
}

void TSPIs::SearchDirectory(const QString& directory, const QString& pattern) {
    // Every candidate is known before any library is loaded. Names are taken
    // in name order; hidden files (a leading dot) and folders are left out.
    QStringList candidates;
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    ForEachDirectoryEntry(directory.isEmpty() ? QStringLiteral(".") : directory,
                          [&](const QString& name, bool isDirectory) {
                              if (!isDirectory && !name.startsWith(QLatin1Char('.')) &&
                                  match.match(name).hasMatch())
                                  names << name;
                              return true;
                          });
    std::sort(names.begin(), names.end());
    for (const QString& name : names) {
        const QString path = directory + name;
        if (FileFacts(path).IsFile && ::access(PathToBytes(path).constData(), R_OK) == 0 &&
            IndexOfPlugin(path) == -1)
            candidates << path;
    }

    for (const QString& path : candidates) {
        bool accept = true;
        if (OnSearching)
            OnSearching(this, path, accept); // a failure here ends the search
        if (!accept)
            continue;
        const int serial = NextSerial++;
        const int bits = WindowsPluginBits(path); // the header, read once
        if (AddableNow(path, bits))
            AddSearched(path, serial, bits);
        else
            Waiting.append({path, serial});
    }
}

bool TSPIs::AddableNow(const QString& path, int bits) {
    if (bits <= 0)
        return true; // a native plug-in, or one no host can load (skipped as such)
    TWinePlugins& wine = WinePlugins();
    if (!wine.HasLoader(bits)) {
        // One line per bitness, never a box per picture.
        if (!MissingWineTold.contains(bits)) {
            MissingWineTold.insert(bits);
            const QString text = TWinePlugins::MissingWineText(QFileInfo(path).fileName(), bits);
            qWarning("%s", qPrintable(text));
            if (OnNotice)
                OnNotice(text);
        }
        return false;
    }
    if (wine.Known(path))
        return true;
    wine.Learn(path, bits);
    return false;
}

void TSPIs::AddSearched(const QString& path, int serial, int windowsBits) {
    std::unique_ptr<TSPI> plugin;
    QString loadError;
    try {
        plugin = TSPI::CreatePlugin(path, windowsBits, &loadError);
        if (!plugin)
            TellMissingPackage(loadError);
    } catch (const ESPIInvalidAPI&) {
        // Loads, but lacks an entry point its class needs: skipped like
        // a file that cannot be loaded, so one bad file cannot stop start-up.
        return;
    }
    if (!plugin)
        return;
    // The same library reached under another spelling of its path is
    // already loaded; the loader handed back the one object.
    if (IndexOfPlugin(plugin->ModuleFileName()) != -1)
        return;

    try {
        bool accept = true;
        if (OnSearch)
            OnSearch(this, plugin.get(), accept);
        if (!accept)
            return;
        // In search order: before the first plug-in the search found later.
        int index = PluginCount();
        for (int i = 0; i < PluginCount(); ++i)
            if (Serials.value(List[size_t(i)].get(), -1) > serial) {
                index = i;
                break;
            }
        Serials.insert(plugin.get(), serial);
        InsertPlugin(index, std::move(plugin));
    } catch (...) {
        // The plug-in is freed and the search goes on with the next file.
    }
}

void TSPIs::TellMissingPackage(const QString& loadError) {
    // Once a package: a plug-in of a format whose library is not installed
    // names the package that adds it.
    const TPluginPackage* package = SPIRules::MissingPackage(loadError);
    if (!package || MissingPackagesTold.contains(QLatin1String(package->Package)))
        return;
    MissingPackagesTold.insert(QLatin1String(package->Package));
    const QString text = SPIRules::MissingPackageText(*package);
    qWarning("%s", qPrintable(text));
    if (OnNotice)
        OnNotice(text);
}

void TSPIs::AddLearned() {
    const QList<QPair<QString, int>> waiting = std::exchange(Waiting, {});
    bool added = false;
    for (const auto& [path, serial] : waiting) {
        if (!WinePlugins().Known(path))
            continue; // Wine could not tell: asked again at the next start
        const int before = PluginCount();
        AddSearched(path, serial, WindowsPluginBits(path));
        added = added || PluginCount() > before;
    }
    if (added && OnPluginsAdded)
        OnPluginsAdded();
}

// ---- Collecting ----------------------------------------------------------------

void TSPIs::CollectPlugins(std::initializer_list<TSPIClass> classes, const QString& fileName,
                           QList<TSPI*>& list) const {
    const QStringView extension = ExtractFileExt(fileName);
    for (const auto& owned : List) {
        TSPI* plugin = owned.get();
        bool wanted = false;
        for (TSPIClass cls : classes)
            wanted = wanted || plugin->InheritsFrom(cls);
        if (!wanted)
            continue;
        bool claims = false;
        if (!extension.isEmpty())
            for (const QString& line : plugin->Extensions())
                claims = claims || SameTextAZ(ExtractFileExt(line), extension);
        if (claims)
            list.insert(0, plugin);
        else
            list.append(plugin);
    }
}
