// The load sequence against a host whose tables, versions and records are chosen per test.
#include "PluginHarness.h"

#include "plugin/ExceptionFrame.h"

using namespace qvtest;
using qvhostapp::HostCallId;
using qvhostapp::HostConfig;

namespace {

using LoadSequence = PluginHarness;

HostConfig without(const std::string& table) {
    HostConfig config;
    config.tables.erase(table);
    return config;
}

}  // namespace

TEST_F(LoadSequence, BindsEveryTableNamesItselfAndRegistersItsCallbacks) {
    qvhostapp::LoadedPlugin* plugin = load();
    ASSERT_TRUE(plugin) << why.message;
    EXPECT_EQ(plugin->name, "Quorvel:Plugin");
    EXPECT_TRUE(plugin->exportCallback && plugin->importCallback && plugin->initCallback && plugin->unloadCallback);
    EXPECT_EQ(gExtensionID, plugin);

    // "AcroSupport" first at 6.0 on its own, then at 8.0, then the list in its order.
    std::vector<std::string> order;
    for (const auto& r : host->tableRequests()) order.push_back(r.name);
    EXPECT_EQ(order, (std::vector<std::string>{"AcroSupport", "AcroSupport", "Core", "Cos", "PDModel", "PDFEditWrite",
                                               "PDFEditRead", "PDSysFont", "PagePDEContent", "AcroView", "PDSWrite",
                                               "PDSRead", "Macintosh", "ASExtra", "PDMetadata", "AcroColorHFT"}));
    EXPECT_EQ(requestsFor("AcroSupport"), (std::vector<QVVersion>{v(6, 0), v(8, 0)}));
    EXPECT_EQ(gAcroSupportVersion, v(8, 0));
    EXPECT_EQ(host->versionOf(gAcroSupportHFT), v(8, 0));
    for (const qvhost::HFTRequest& request : qvhost::requestList()) {
        SCOPED_TRACE(request.name);
        EXPECT_EQ(*request.boundVersion, request.requestedVersion);
        EXPECT_EQ(host->versionOf(*request.table), request.requestedVersion);
    }
    // The core table of the setup record is replaced by the one bound at 5.0.
    EXPECT_EQ(gCoreVersion, v(5, 0));

    // Each bundle is retained once by the plug-in (the host's own reference is the first).
    ASSERT_TRUE(gPluginBundle && gAppBundle);
    EXPECT_EQ(gPluginBundle->retainCount, 2u);
    EXPECT_EQ(gAppBundle->retainCount, 2u);
    EXPECT_STREQ(gPluginBundle->path, "/nonexistent/Quorvel.acroplugin");
}

TEST_F(LoadSequence, HandshakeVersionIsCappedAtTwoAndOlderHostsAreRefused) {
    host = std::make_unique<qvhostapp::Host>();
    QVBundleRef bundle{1, "/x"};
    QVBundleRecord record{sizeof(QVBundleRecord), &bundle, &bundle};
    QVVersion agreed = 0;
    QVSetupProc setup = nullptr;
    ASSERT_TRUE(AcroPluginMain(v(3, 0), &agreed, &setup, &record));
    EXPECT_EQ(agreed, v(2, 0));
    EXPECT_EQ(setup, &PISetupSDK);
    EXPECT_EQ(bundle.retainCount, 3u);

    ASSERT_TRUE(AcroPluginMain(v(1, 0), &agreed, &setup, &record));
    EXPECT_EQ(agreed, v(1, 0));

    // Through the host: 3.0 loads, 1.0 is turned down at setup before any table is asked for.
    HostConfig newer;
    newer.handshakeVersion = v(3, 0);
    EXPECT_TRUE(load(newer)) << why.message;

    HostConfig older;
    older.handshakeVersion = v(1, 0);
    EXPECT_FALSE(load(older));
    EXPECT_EQ(why.message, "de installatie weigerde");
    EXPECT_TRUE(host->tableRequests().empty());
}

TEST_F(LoadSequence, SetupRecordWithAnotherVersionIsRefused) {
    HostConfig config;
    config.setupRecordVersion = v(2, 1);
    EXPECT_FALSE(load(config));
    EXPECT_EQ(why.message, "de installatie weigerde");
    EXPECT_TRUE(host->tableRequests().empty());
    EXPECT_EQ(gCoreHFT, nullptr);
}

TEST_F(LoadSequence, TableOfferedOnlyAtANewerVersionIsFoundThroughTheFallbackList) {
    HostConfig config;
    config.tables["PDSysFont"] = {v(4, 5)};
    ASSERT_TRUE(load(config)) << why.message;
    EXPECT_EQ(requestsFor("PDSysFont"), (std::vector<QVVersion>{v(4, 0), v(5, 1), v(5, 0), v(4, 5)}));
    EXPECT_EQ(gPDSysFontVersion, v(4, 5));
    EXPECT_EQ(host->versionOf(gPDSysFontHFT), v(4, 5));
}

TEST_F(LoadSequence, FallbackNeverGoesBelowTheRequestedVersion) {
    // "PDSysFont" at 2.3 is older than the 4.0 asked for, so it does not count.
    HostConfig config;
    config.tables["PDSysFont"] = {v(2, 3)};
    EXPECT_FALSE(load(config));
    EXPECT_EQ(requestsFor("PDSysFont"), (std::vector<QVVersion>{v(4, 0), v(5, 1), v(5, 0), v(4, 5), v(4, 0)}));
    EXPECT_EQ(gPDSysFontVersion, 0u);
    EXPECT_EQ(gPDSysFontHFT, nullptr);
}

TEST_F(LoadSequence, MissingMacintoshStopsAtTheEleventhTable) {
    EXPECT_FALSE(load(without("Macintosh")));
    EXPECT_EQ(why.message, "de installatie weigerde");
    EXPECT_EQ(requestsFor("Macintosh"),
              (std::vector<QVVersion>{v(2, 2), v(5, 1), v(5, 0), v(4, 5), v(4, 0), v(2, 3), v(2, 2)}));
    EXPECT_TRUE(requested("PDSRead"));
    for (const char* later : {"ASExtra", "PDMetadata", "AcroColorHFT"}) EXPECT_FALSE(requested(later)) << later;
    // What was bound before the failure stays bound.
    EXPECT_EQ(gPDSReadVersion, v(6, 0));
    EXPECT_EQ(host->plugins().size(), 0u);
}

TEST_F(LoadSequence, WithoutAcroSupportAtSixOnlyTheFallbackIsTriedAndFails) {
    HostConfig config;
    config.tables["AcroSupport"] = {v(8, 0)};
    EXPECT_FALSE(load(config));
    // The 8.0 request has no fallback, and without "AcroSupport" 6.0 it is never asked directly.
    EXPECT_EQ(requestsFor("AcroSupport"), std::vector<QVVersion>{v(6, 0)});
    EXPECT_FALSE(requested("Core"));
}

TEST_F(LoadSequence, HandshakeRefusesAnotherVersion) {
    ASSERT_TRUE(load()) << why.message;
    QVHandshakeRecord record{};
    EXPECT_FALSE(PIHandshake(v(2, 1), &record));
    EXPECT_EQ(record.extensionName, 0);
    EXPECT_EQ(record.initCallback, nullptr);
}

TEST_F(LoadSequence, HostErrorInsideAFrameArrivesAsNativeExceptionAndPopsTheFrame) {
    HostConfig config;
    config.raiseErrorIn = HostCallId{"Core", qvhft::kAtomFromString};
    config.occurrence = 100;  // well after loading
    ASSERT_TRUE(load(config)) << why.message;

    bool caught = false;
    try {
        qvhost::_miExceptionPushPop frame;
        EXPECT_EQ(host->exceptionFrameDepth(), 1u);
        for (int i = 0; i < 200; ++i) qvhft::entry<qvhft::AtomFromStringProc>(gCoreHFT, qvhft::kAtomFromString)("x");
    } catch (const qvhost::_miExceptionInfo& info) {
        caught = true;
        EXPECT_EQ(info.error, 0);
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(host->exceptionFrameDepth(), 0u);
    EXPECT_EQ(host->errorsRaised(), 1u);

    // Outside a frame the same error makes the call fail quietly.
    HostConfig quiet;
    quiet.raiseErrorIn = HostCallId{"AcroView", qvhft::kGetMenubar};
    ASSERT_TRUE(load(quiet)) << why.message;
    EXPECT_EQ(qvhft::entry<qvhft::GetMenubarProc>(gAcroViewHFT, qvhft::kGetMenubar)(), nullptr);
    EXPECT_EQ(host->errorsRaised(), 1u);
}
