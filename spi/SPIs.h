#pragma once

#include "spi/SPIExceptions.h"
#include "spi/SPIPlugin.h"
#include "toolkit/Graphic.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class TSPIs;

// The places a plug-in search looks in, in search order.
enum TSPISearchOption : int { spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir };

// A set of search places.
class TSPISearchOptions {
public:
    constexpr TSPISearchOptions() = default;
    constexpr TSPISearchOptions(std::initializer_list<TSPISearchOption> options) {
        for (TSPISearchOption o : options)
            Bits |= 1u << o;
    }
    constexpr bool Contains(TSPISearchOption o) const { return (Bits & (1u << o)) != 0; }
    constexpr void Include(TSPISearchOption o) { Bits |= 1u << o; }
    constexpr void Exclude(TSPISearchOption o) { Bits &= ~(1u << o); }
    constexpr bool operator==(const TSPISearchOptions&) const = default;

private:
    unsigned Bits = 0;
};

// Called for each plug-in object made during a search; Accept false frees it.
using TSPISearchEvent = std::function<void(TSPIs* Sender, TSPI* ASPI, bool& Accept)>;
// Called for each candidate file before it is loaded; Accept false skips it.
using TSPISearchingEvent =
    std::function<void(TSPIs* Sender, const QString& FileName, bool& Accept)>;
// Called for each extension before it is registered; the handler may change
// the picture class, nullptr registering nothing.
using TSPIPictureRegisterEvent =
    std::function<void(TSPIs* Sender, TInSPI* ASPI, const QString& AExtension,
                       const QString& ADescription, TGraphicClass& AGraphicClass)>;

// The plug-in manager: finds plug-in files, owns the loaded plug-in objects in
// an ordered list and registers the import plug-ins' extensions with the
// picture-format registry. One manager per process.
class TSPIs : public QObject {
public:
    // Raises ESPIDupCreateSPIs while another manager is active.
    explicit TSPIs(QObject* owner = nullptr);
    ~TSPIs() override;

    // Settings read when pictures are decoded, and the search settings.
    bool MacBinary = true;
    bool GraphicPreview = false;
    TInSPI* GraphicForcedLoader = nullptr; // not owned
    bool AutoSearch = true;
    TSPISearchOptions SearchOptions{spsSusieDir, spsAppDir};
    TSPISearchEvent OnSearch;
    TSPISearchingEvent OnSearching;
    TSPIPictureRegisterEvent OnPictureRegister;
    // A line for the status bar about Windows plug-ins (Wine being made
    // ready, Wine missing, a plug-in set aside), on the manager's thread.
    std::function<void(const QString& text)> OnNotice;
    // Windows plug-ins found by the search whose information had first to
    // be asked of a host have been added (on the manager's thread).
    std::function<void()> OnPluginsAdded;

    // The owner calls this once it has set the properties and handlers;
    // with AutoSearch it searches for "*.spi" and "*.sph" (64-bit Windows
    // plug-ins).
    void Loaded();

    int PluginCount() const { return int(List.size()); }
    // Raises EListError for an index outside 0 .. PluginCount - 1.
    TSPI* Plugins(int index) const;
    void AddPlugin(std::unique_ptr<TSPI> plugin);
    void InsertPlugin(int index, std::unique_ptr<TSPI> plugin);
    void DeletePlugin(int index);
    void ClearPlugins();
    // The first plug-in loaded from that path (ASCII case ignored), or -1.
    int IndexOfPlugin(const QString& fileName) const;

    void SearchPlugins(const QString& mask);
    // Appends the plug-ins that are instances of any of the classes, those
    // that claim the file's extension first (the later one first).
    void CollectPlugins(std::initializer_list<TSPIClass> classes, const QString& fileName,
                        QList<TSPI*>& list) const;

    static void SetDefaultGraphicClass(TGraphicClass cls);

protected:
    // The folder of one search place, empty when the place is not available.
    virtual QString PlaceDirectory(TSPISearchOption option) const;
    void SearchDirectory(const QString& directory, const QString& pattern);

private:
    void RegisterFormats(TInSPI* plugin);
    // Whether a found file is added now; a Windows plug-in that Wine must
    // first be asked about is added later, at its place in the search order.
    bool AddableNow(const QString& path, int windowsBits);
    void AddSearched(const QString& path, int serial, int windowsBits);
    void AddLearned();
    void TellMissingPackage(const QString& loadError);

    std::vector<std::unique_ptr<TSPI>> List;
    // The search order of each plug-in the search added, and the Windows
    // plug-ins still waiting for their information.
    QHash<const TSPI*, int> Serials;
    QList<QPair<QString, int>> Waiting;
    int NextSerial = 0;
    QSet<int> MissingWineTold;
    QSet<QString> MissingPackagesTold;
};

// The active manager, or nullptr.
extern TSPIs* ActiveSPIs;
// The picture class offered when an extension is registered, or nullptr.
extern TGraphicClass DefaultGraphicClass;

// The Debian package that adds a library a bundled plug-in links, and the
// formats that library reads.
struct TPluginPackage {
    const char* Library; // as the loader names it when it is missing
    const char* Package;
    const char* Formats;
};

// Rules of the search and the registration, kept apart so they can be checked.
namespace SPIRules {
// The package whose missing library made a plug-in fail to load, from the
// loader's reason; nullptr when the reason is another one.
const TPluginPackage* MissingPackage(const QString& loadError);
// The status bar's line for it.
QString MissingPackageText(const TPluginPackage& package);
// A directory text with "/" appended unless it is empty or ends with one.
QString AddSlash(const QString& directory);
// The patterns of one extension line, last to first, each reduced to the
// text after its first "." (the whole pattern when it has none).
QStringList RegistrationExtensions(const QString& line);
} // namespace SPIRules
