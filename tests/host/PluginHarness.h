#pragma once
// The plug-in's own code loaded in-process into the stand-in host's core, with a configurable
// host, an isolated language and settings, and a clean plug-in state for every test.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "dialogs/ScriptedDialogs.h"
#include "localization/MenuTitles.h"
#include "plugin/Load.h"
#include "plugin/PluginState.h"

namespace qvtest {

constexpr QVVersion v(uint16_t major, uint16_t minor) { return QVMakeVersion(major, minor); }

class PluginHarness : public ::testing::Test {
protected:
    PluginHarness() { reset(); }
    ~PluginHarness() override {
        host.reset();
        reset();
    }

    // A fresh host with `config`, and the load sequence run against it.
    qvhostapp::LoadedPlugin* load(qvhostapp::HostConfig config = {}) {
        host.reset();
        host = std::make_unique<qvhostapp::Host>(std::move(config));
        return host->loadPlugin(AcroPluginMain, "/nonexistent/Quorvel.acroplugin", &why);
    }
    // Loads with `config` and runs export, import and init.
    qvhostapp::LoadedPlugin* start(qvhostapp::HostConfig config = {}) {
        qvhostapp::LoadedPlugin* plugin = load(std::move(config));
        if (plugin) host->startPlugins();
        return plugin;
    }

    // The versions at which `name` was asked for, in order.
    std::vector<QVVersion> requestsFor(const std::string& name) const {
        std::vector<QVVersion> versions;
        for (const auto& r : host->tableRequests())
            if (r.name == name) versions.push_back(r.version);
        return versions;
    }
    bool requested(const std::string& name) const { return !requestsFor(name).empty(); }

    QVHostMenuRec* quorvelMenu() {
        QVHostMenubar bar = host->menubar();
        if (!bar) return nullptr;
        for (QVHostMenuRec* menu : bar->menus)
            if (menu->name == "Quorvel:Menu") return menu;
        return nullptr;
    }
    std::vector<std::string> itemTitles() {
        std::vector<std::string> titles;
        if (QVHostMenuRec* menu = quorvelMenu())
            for (QVHostMenuItemRec* item : menu->items) titles.push_back(item->title);
        return titles;
    }

    IsolatedLanguage language{"nl"};
    std::unique_ptr<qvhostapp::Host> host;
    QVError why;

private:
    static void reset() {
        QVSetMenuTitlesUpdater({});
        qvhost::resetPluginStateForTesting();
    }
};

}  // namespace qvtest
