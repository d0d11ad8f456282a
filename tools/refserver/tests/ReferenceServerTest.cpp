// Round trips through the tool's own request functions against the reference
// server and its sample content: every request form, the whole course
// directory, and packages downloaded, unpacked and written to an emulated device.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "catalogue/Catalogue.h"
#include "common/ByteOrder.h"
#include "core/TeelinkDoc.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"
#include "favorites/FavoritesJobs.h"
#include "favorites/tests/WalkDriver.h"
#include "identity/DeviceReads.h"
#include "refserver/ServerContent.h"
#include "startup/StartupRequests.h"
#include "testsupport/DeviceTestSupport.h"
#include "testsupport/OwnerThread.h"
#include "testsupport/ReferenceServerSupport.h"
#include "testsupport/ReportRecorder.h"
#include "update/PackageReader.h"
#include "update/UpdateJob.h"
#include "updateclient/Answers.h"
#include "updateclient/RequestForms.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

const std::vector<std::wstring> kModels = {L"R7", L"R8", L"KS2"};

bool HasHangul(const std::wstring& s) {
    for (wchar_t c : s) {
        if ((c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x3130 && c <= 0x318F)) {
            return true;
        }
    }
    return false;
}
bool HasKana(const std::wstring& s) {
    for (wchar_t c : s) {
        if (c >= 0x3040 && c <= 0x30FF) {
            return true;
        }
    }
    return false;
}
bool HasIdeograph(const std::wstring& s) {
    for (wchar_t c : s) {
        if (c >= 0x4E00 && c <= 0x9FFF) {
            return true;
        }
    }
    return false;
}
bool HasLatin(const std::wstring& s) {
    for (wchar_t c : s) {
        if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) {
            return true;
        }
    }
    return false;
}

// Whether a name is written in the script of interface language `l`.
bool InScriptOf(int l, const std::wstring& name) {
    switch (l) {
        case 0:
            return (HasKana(name) || HasIdeograph(name)) && !HasHangul(name);
        case 1:
            return HasLatin(name) && !HasKana(name) && !HasIdeograph(name) && !HasHangul(name);
        case 2:
            return HasHangul(name) && !HasKana(name);
        default:
            return HasIdeograph(name) && !HasKana(name) && !HasHangul(name);
    }
}

// What an update page run would post: only the outcome matters here.
class COutcomeRecorder : public CReportRecorder<UpdateMessage> {
public:
    std::vector<UpdateMessage> Posts() const { return Messages({WM_UPDATE_REMAIN_TIME}); }
};

// ---- Start-up answers ----

class ReferenceStartup : public ::testing::Test, protected CReferenceFixture {};

TEST_F(ReferenceStartup, LatestVersionsLetTheToolStartAndMarkOneModel) {
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    // The tool refuses to run when the first two fields differ from its own.
    const std::wstring own = CTeelinkDoc::DefaultToolVersion();
    const auto firstTwo = [](const std::wstring& v) {
        return v.substr(0, v.find(L'.', v.find(L'.') + 1));
    };
    EXPECT_EQ(firstTwo(doc.m_strLatestTool), firstTwo(own));
    // The emulator's default R7 is up to date; the R8 is not, so the demo shows
    // the marking.
    EXPECT_EQ(doc.m_strLatestR7, L"1.05");
    EXPECT_NE(doc.m_strLatestR8, L"1.05");
    EXPECT_FALSE(doc.m_strLatestKS2.empty());
}

TEST_F(ReferenceStartup, AreaListsHaveTheSameCodesAndNamesInEachScript) {
    std::vector<std::wstring> codes;
    std::set<std::wstring> simplified;
    std::set<std::wstring> traditional;
    for (int l = 0; l < LANGUAGE_COUNT; ++l) {
        SCOPED_TRACE(l);
        ASSERT_EQ(DownloadAreaList(doc, l).Code(), 0);
        ASSERT_EQ(doc.m_areaList.size(), 5u);
        std::vector<std::wstring> these;
        for (const CAreaList& area : doc.m_areaList) {
            these.push_back(area.code);
            EXPECT_TRUE(InScriptOf(l, area.name)) << WideToUtf8(area.name);
            (l == 3 ? simplified : traditional).insert(area.name);
        }
        if (l == 0) {
            codes = these;
        }
        EXPECT_EQ(these, codes);
    }
    EXPECT_NE(simplified, traditional);
}

TEST_F(ReferenceStartup, EveryAreaOfEveryModelHasACourseDataPackage) {
    ASSERT_EQ(DownloadAreaList(doc, 1).Code(), 0);
    for (const std::wstring& model : kModels) {
        for (const CAreaList& area : doc.m_areaList) {
            SCOPED_TRACE(WideToUtf8(model + L" " + area.code));
            const std::string body =
                FetchBody(CourseDataUrl(doc.m_strScriptUrl, model, area.code, L"170315"));
            const auto size = ParsePackageHeader(std::span(
                reinterpret_cast<const uint8_t*>(body.data()), std::min<size_t>(body.size(), 7)));
            ASSERT_TRUE(size);
            EXPECT_EQ(body.size(), 7 + *size);
        }
    }
}

// ---- The course directory ----

struct CourseKey {
    uint16_t n;
    uint8_t s;
    uint16_t g;
    auto operator<=>(const CourseKey&) const = default;
};

// Walks the whole directory as the selection dialog would, choosing every entry
// in turn, and collects the courses of level 7 with their names.
class DirectoryWalk : public ::testing::TestWithParam<int>, protected CReferenceFixture {
protected:
    void Walk(int level) {
        ASSERT_TRUE(DownloadItemList(doc, LevelQuery(level, doc))) << level;
        const std::vector<CItemList> items = doc.m_itemList;
        if (level < 7) {
            // Only the course level may be empty: a level above it that lists
            // nothing leads nowhere.
            EXPECT_FALSE(items.empty()) << WideToUtf8(LevelQuery(level, doc));
        }
        if (level <= 5 && items.size() == 1) {
            ++passedThrough;
        }
        for (const CItemList& item : items) {
            EXPECT_TRUE(InScriptOf(doc.Language(), item.name) || (level == 6 && !item.name.empty()))
                << level << " " << WideToUtf8(item.name);
            switch (level) {
                case 1:
                    doc.m_nAreaIndex = item.id & 0xFF;
                    break;
                case 2:
                    doc.m_nSelN = item.id;
                    break;
                case 3:
                    doc.m_nSelR = static_cast<uint8_t>(item.id);
                    break;
                case 4:
                    doc.m_nSelS = static_cast<uint8_t>(item.id);
                    break;
                case 5:
                    doc.m_nSelIl = static_cast<uint8_t>(item.id);
                    break;
                case 6:
                    doc.m_nSelI = static_cast<uint8_t>(item.id);
                    break;
                default:
                    // A course belongs to the country and prefecture it was
                    // listed under: its numbers are what the tool stores.
                    EXPECT_EQ(item.id, doc.m_nSelN);
                    EXPECT_EQ(item.sub, doc.m_nSelS);
                    courses[{item.id, item.sub, item.number}] = item.name;
                    holeview += (item.flags & FLAG_HOLEVIEW) != 0;
                    continue;
            }
            // Levels 5 and 6 do not depend on the prefecture chosen at level 4;
            // walking them again under each prefecture asks level 7 with each.
            Walk(level + 1);
        }
    }

    std::map<CourseKey, std::wstring> courses;
    int passedThrough = 0;
    int holeview = 0;
};

TEST_P(DirectoryWalk, ReachesEveryCourseWhoseInformationMatchesItsEntry) {
    messages.m_nLanguage = GetParam();
    Walk(1);
    ASSERT_FALSE(HasFailure());
    EXPECT_GE(courses.size(), 250u);
    EXPECT_GT(passedThrough, 0);  // the dialog's pass-through is exercised
    EXPECT_GT(holeview, 0);

    // The favourites page asks md=5 about each stored course.
    FavoriteSlot& slot = doc.m_favourites[1];
    for (const auto& [key, name] : courses) {
        slot.Reset();
        slot.n = key.n;
        slot.s = key.s;
        slot.g = key.g;
        ASSERT_TRUE(DownloadCourseInfo(doc, 1));
        EXPECT_EQ(slot.name, name);
        EXPECT_EQ(std::string(slot.serverDate.data()).size(), 10u);
        // A device that holds other data for the course is offered the update.
        std::copy_n("0000000000", 10, slot.deviceDate.begin());
        EXPECT_TRUE(SlotNeedsUpdate(slot));
    }
    EXPECT_TRUE(notifier.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, DirectoryWalk, ::testing::Range(0, LANGUAGE_COUNT));

class ReferenceCatalogue : public ::testing::Test, protected CReferenceFixture {};

TEST_F(ReferenceCatalogue, AnUnknownCourseHasNoServerDataAndIsNeverOffered) {
    FavoriteSlot& slot = doc.m_favourites[2];
    slot.n = 999;
    slot.s = 1;
    slot.g = 1;
    ASSERT_TRUE(DownloadCourseInfo(doc, 2));
    EXPECT_STREQ(slot.serverDate.data(), "0001010000");
    EXPECT_TRUE(slot.name.empty());
    EXPECT_FALSE(SlotNeedsUpdate(slot));
}

TEST_F(ReferenceCatalogue, AListThatDoesNotExistIsEmptyNotAnError) {
    doc.m_nSelN = 999;
    EXPECT_TRUE(DownloadItemList(doc, LevelQuery(3, doc)));
    EXPECT_TRUE(doc.m_itemList.empty());
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(ReferenceCatalogue, TheDemoWalkPassesSingleLevelsAndEndsAtAHoleviewCourse) {
    messages.m_nLanguage = 1;
    CCourseWalk walk(doc);
    auto expect = [&](WalkAction action, WalkAction::Kind kind, int level) {
        EXPECT_EQ(action.kind, kind);
        EXPECT_EQ(action.level, level);
    };
    expect(DriveWalk(walk, doc, notifier, walk.Start()), WalkAction::Show, 1);
    ASSERT_EQ(doc.m_itemList.at(0).name, L"Japan");
    expect(DriveWalk(walk, doc, notifier, walk.Select(0)), WalkAction::Show, 3);  // one country
    ASSERT_EQ(doc.m_itemList.at(0).name, L"Hokkaido");
    expect(DriveWalk(walk, doc, notifier, walk.Select(0)), WalkAction::Show, 5);  // one prefecture
    ASSERT_EQ(doc.m_itemList.at(0).name, L"By course name");
    expect(DriveWalk(walk, doc, notifier, walk.Select(0)), WalkAction::Show, 6);
    ASSERT_EQ(doc.m_itemList.at(1).name, L"F–J");
    expect(DriveWalk(walk, doc, notifier, walk.Select(1)), WalkAction::Show, 7);
    ASSERT_EQ(doc.m_itemList.size(), 2u);
    EXPECT_EQ(doc.m_itemList[0].flags & FLAG_HOLEVIEW, 0u);
    EXPECT_EQ(doc.m_itemList[1].flags & FLAG_HOLEVIEW, FLAG_HOLEVIEW);
    expect(walk.Select(1), WalkAction::EndOk, 0);
    EXPECT_EQ(doc.m_strSelName, L"Green Hills Golf Course");
    EXPECT_EQ(std::make_tuple(doc.m_nSelN, doc.m_nSelS, doc.m_nSelG),
              std::make_tuple(uint16_t{1}, uint8_t{1}, uint16_t{2}));
    EXPECT_TRUE(notifier.Texts().empty());
}

// ---- Packages ----

class ReferencePackages : public DeviceTest {
protected:
    ReferencePackages() { doc.m_strScriptUrl = server.ScriptUrl(); }

    // The update page's download worker on `url`: the package, or empty.
    std::vector<uint8_t> Download(const std::string& url) {
        CUpdateJob job;
        COutcomeRecorder report;
        const Status downloaded =
            DownloadJob(job, CUpdateOrder{url, 0, {}, {}, {}}, Context(CDevice()), report);
        if (!downloaded) {
            for (const std::string& text : downloaded.Failure().Texts()) {
                m_notifier.ShowPlain(text);  // as the run's end shows them
            }
        }
        if (!downloaded || report.Posts() != std::vector<UpdateMessage>{WM_UPDATE_DOWNLOADED}) {
            return {};
        }
        return std::vector<uint8_t>(job.m_pPackage.begin(),
                                    job.m_pPackage.begin() + job.m_nPackageSize);
    }

    // Every entry of the package: its address and the entry bytes.
    static std::vector<std::vector<uint8_t>> Entries(const std::vector<uint8_t>& package) {
        CPackageReader reader;
        EXPECT_TRUE(reader.Open(package.data(), package.size()));
        std::vector<std::vector<uint8_t>> entries;
        for (uint64_t i = 0; i < reader.EntryCount(); ++i) {
            uint64_t size = 0;
            EXPECT_TRUE(reader.EntrySize(i, size));
            std::vector<uint8_t> entry(size);
            EXPECT_TRUE(reader.Extract(i, size, entry.data()));
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    static uint32_t AddressOf(const std::vector<uint8_t>& entry) {
        return teelink::LoadLe32(entry.data() + 2);
    }

    // The update page's write worker with the package, on the one device.
    void Write(const std::vector<uint8_t>& package, int mode) {
        const CDevice device = TheDevice();
        CUpdateJob job;
        job.m_pPackage.assign(package.begin(), package.end());
        job.m_pPackage.resize(package.size() + 1024);
        job.m_nPackageSize = static_cast<uint32_t>(package.size());
        job.m_writeStart = std::chrono::steady_clock::now();
        COutcomeRecorder report;
        const Status written = WriteJob(
            job, CUpdateOrder{"", mode, CWriteSettings{std::chrono::milliseconds(0)}, {}, {}},
            Context(device), report);
        EXPECT_TRUE(written);
        EXPECT_EQ(report.Posts(), std::vector<UpdateMessage>{});
    }

    std::wstring DeviceCourseDate() {
        CTeelinkDoc read(messages);
        EXPECT_TRUE(ReadCourseDataDate(read, TheDevice()));
        return read.m_strCourseDate;
    }

    CRunningReferenceServer server{SampleContent()};
    CMessageTable messages;
    CDeviceList noDevices{CDeviceBusConfig{"", false, 100}};
    CTeelinkDoc doc{messages};
};

TEST_F(ReferencePackages, EveryPackageIsAnArchiveOfMarkedEntries) {
    std::vector<std::string> urls;
    for (const std::wstring& model : kModels) {
        urls.push_back(CourseDataUrl(doc.m_strScriptUrl, model, L"JPN", L"161101"));
        urls.push_back(SystemDataUrl(doc.m_strScriptUrl, model, L"A01"));
        urls.push_back(SystemDataUrl(doc.m_strScriptUrl, model, L"A02"));
        urls.push_back(
            FavoriteDataUrl(doc.m_strScriptUrl, model, std::string(140, '0') + "0001080031"));
    }
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        const std::vector<uint8_t> package = Download(url);
        ASSERT_FALSE(package.empty());
        const auto entries = Entries(package);
        ASSERT_FALSE(entries.empty());
        for (const auto& entry : entries) {
            ASSERT_GE(entry.size(), 6u);
            EXPECT_EQ(entry[0], 'T');
            EXPECT_EQ(entry[1], 'L');
            // Nothing of any package lands in the marked-position log.
            const uint64_t end = AddressOf(entry) + entry.size() - 6;
            EXPECT_TRUE(end <= LOG_IMAGE_ADDRESS ||
                        AddressOf(entry) >= LOG_IMAGE_ADDRESS + LOG_IMAGE_SIZE);
        }
    }
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(ReferencePackages, ACourseDataPackageLeavesTheDeviceWithItsDate) {
    StartDevice();  // course data dated 170315
    ASSERT_EQ(DeviceCourseDate(), L"170315");
    const std::vector<uint8_t> package =
        Download(CourseDataUrl(doc.m_strScriptUrl, L"R7", L"KOR", L"170315"));
    ASSERT_FALSE(package.empty());
    // The header is the last entry: a write broken off before it leaves the old
    // date, so the device is offered the update again.
    const auto entries = Entries(package);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(AddressOf(entries.back()), COURSE_HEADER_ADDRESS);
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        EXPECT_GT(AddressOf(entries[i]), COURSE_HEADER_ADDRESS);
        EXPECT_GE(entries[i].size(), 100u * 1024);  // real course data follows
    }

    const std::vector<uint8_t> logBefore =
        m_devices.front()->ReadMemory(LOG_IMAGE_ADDRESS, LOG_IMAGE_SIZE);
    Write(package, UPDATE_COURSE_DATA);
    EXPECT_EQ(DeviceCourseDate(), L"171201");
    EXPECT_EQ(m_devices.front()->ReadMemory(LOG_IMAGE_ADDRESS, LOG_IMAGE_SIZE), logBefore);
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(ReferencePackages, ASystemDataPackageKeepsTheCourseDataAndStartsTheFirmwareUpdate) {
    StartDevice();
    const std::vector<uint8_t> headerBefore =
        m_devices.front()->ReadMemory(COURSE_HEADER_ADDRESS, BLOCK_SIZE);
    const std::vector<uint8_t> package = Download(SystemDataUrl(doc.m_strScriptUrl, L"R7", L"A01"));
    ASSERT_FALSE(package.empty());
    Write(package, UPDATE_SYSTEM_DATA);
    EXPECT_EQ(m_devices.front()->ReadMemory(COURSE_HEADER_ADDRESS, BLOCK_SIZE), headerBefore);
    EXPECT_TRUE(
        m_devices.front()->WaitFor([](const CEmulatorStatus& s) { return s.endCommands == 1; }));
    EXPECT_EQ(DeviceCourseDate(), L"170315");
}

TEST_F(ReferencePackages, TheSampleFavouritesAreCheckedAndTheirOutdatedCoursesWritten) {
    StartDevice();  // the sample favourites table
    const CDevice found = TheDevice();
    messages.m_nLanguage = 1;
    CTeelinkDoc page(messages);
    page.m_strScriptUrl = server.ScriptUrl();
    // As the favourites page runs them: the read, then the check of what it read.
    auto read = RunThroughRunner<FavoriteSlots>(m_notifier, CJobPlace{found, {}}, FavoritesReadJob);
    ASSERT_TRUE(read && *read);
    ApplyFavoritesRead(page, *read);
    auto checked = RunThroughRunner<FavoriteSlots>(
        m_notifier, CJobPlace{CDevice(), page.m_serverSettings},
        [order = CatalogueOrderOf(page), slots = page.m_favourites](const CJobContext& context) {
            return CourseCheckJob(order, slots, context);
        });
    ASSERT_TRUE(checked && *checked);
    page.m_favourites = checked->Value();

    const auto& slots = page.m_favourites;
    EXPECT_EQ(slots[1].name, L"Forest Golf Course");
    EXPECT_FALSE(SlotNeedsUpdate(slots[1]));  // as new as the server's
    EXPECT_TRUE(SlotNeedsUpdate(slots[2]));
    EXPECT_STREQ(slots[3].serverDate.data(), "0001010000");  // unknown here
    EXPECT_FALSE(SlotNeedsUpdate(slots[3]));
    EXPECT_EQ(slots[5].name, L"Riverside Golf Links");
    EXPECT_TRUE(SlotNeedsUpdate(slots[5]));
    const std::string keys = FavouriteUpdateKeys(page);
    EXPECT_EQ(keys, std::string(10, '0') + "0001010002" + std::string(20, '0') + "0001010007" +
                        std::string(100, '0'));

    const std::vector<uint8_t> package =
        Download(FavoriteDataUrl(page.m_strScriptUrl, L"R7", keys));
    const auto entries = Entries(package);
    ASSERT_EQ(entries.size(), 2u);
    const uint32_t second = FAVORITE_DATA_ADDRESS + 1 * FAVORITE_SLOT_STRIDE;
    const uint32_t fifth = FAVORITE_DATA_ADDRESS + 4 * FAVORITE_SLOT_STRIDE;
    EXPECT_EQ(AddressOf(entries[0]), second);
    EXPECT_EQ(AddressOf(entries[1]), fifth);
    Write(package, UPDATE_FAVORITE_DATA);
    CDeviceEmulator& device = *m_devices.front();
    EXPECT_EQ(device.ReadMemory(second, entries[0].size() - 6),
              std::vector<uint8_t>(entries[0].begin() + 6, entries[0].end()));
    EXPECT_EQ(device.ReadMemory(fifth, entries[1].size() - 6),
              std::vector<uint8_t>(entries[1].begin() + 6, entries[1].end()));
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(ReferencePackages, AnUnknownAreaOrHardwareIsAFailedDownload) {
    for (const std::string& url : {CourseDataUrl(doc.m_strScriptUrl, L"R7", L"XXX", L"170315"),
                                   SystemDataUrl(doc.m_strScriptUrl, L"R7", L""),
                                   SystemDataUrl(doc.m_strScriptUrl, L"R9", L"A01"),
                                   FavoriteDataUrl(doc.m_strScriptUrl, L"R7", "0")}) {
        m_notifier.Clear();
        EXPECT_TRUE(Download(url).empty()) << url;
        EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: Download data"}) << url;
    }
}

// ---- Queries that are no request form ----

TEST(ReferenceServer, AnswersEveryMalformedQueryWithoutTheFramingAndKeepsServing) {
    CRunningReferenceServer server(SampleContent());
    const std::string base = server.ScriptUrl();
    const std::string root = base.substr(0, base.find("/r7r8/"));
    const std::vector<std::string> urls = {
        base,                                                   // no query
        base + "?md=2",                                         // no such form
        base + "?md=1&md=1",                                    // a key twice
        base + "?md=14",                                        // a key missing
        base + "?md=14&l=5",                                    // no such language
        base + "?md=14&l=0&x=1",                                // a key too many
        base + "?md=14&l=%zz",                                  // a broken escape
        base + "?md=5&l=0&n=65536&s=0&g=0",                     // out of range
        base + "?md=4&pd=R7&ga=..%2F..%2Fsystem&udate=170315",  // a path outside
        base + "?md=4&pd=R7&ga=JPN&udate=17031",                // a short date
        base + "?md=13&pd=R7&f=" + std::string(150, 'G'),
        base + "?l=0&md=12&n=1&s=1",  // level 7 without i
        root + "/index.php?md=1",     // another script
    };
    for (const std::string& url : urls) {
        const std::string body = FetchBody(url);
        EXPECT_FALSE(
            HasAnswerFraming(std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size())))
            << url;
    }
    EXPECT_EQ(FetchBody(base + "?md=1").substr(0, 3), std::string("TL\0", 3));
    // A number written with leading zeros names the same list.
    EXPECT_EQ(FetchBody(base + "?l=1&md=8&n=001"), FetchBody(base + "?l=1&md=8&n=1"));
}

TEST(ReferenceServer, LogsEachRequestWithItsStatusAndSize) {
    CRunningReferenceServer server(SampleContent());
    const std::string versions = FetchBody(server.ScriptUrl() + "?md=1");
    const std::string package = FetchBody(server.ScriptUrl() + "?md=3&pd=KS2&mdl=A02");
    FetchBody(server.ScriptUrl() + "?md=99");
    const std::vector<std::string> lines = server.LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "GET /r7r8/index.php?md=1 200 " + std::to_string(versions.size()));
    EXPECT_EQ(lines[1],
              "GET /r7r8/index.php?md=3&pd=KS2&mdl=A02 200 " + std::to_string(package.size()));
    EXPECT_EQ(lines[2].rfind("GET /r7r8/index.php?md=99 400 ", 0), 0u) << lines[2];
}

}  // namespace

}  // namespace teelink
