// lumetra info BUNDLE.lv2: reads an LV2 bundle through lilv, the library Linux LV2 hosts read
// bundles with, and prints what a host sees of each plug-in in it: identity, binary, UIs, ports
// with their ranges, units and scale points, and presets; each plug-in is also made once, at
// 48 kHz, as a host makes it.
#include <lilv/lilv.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/Commands.h"

namespace {

const char* const kLv2 = "http://lv2plug.in/ns/lv2core#";

// A node lilv hands over (the caller frees it), freed at the end of the scope.
class Node {
public:
    explicit Node(LilvNode* n = nullptr) : node(n) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    LilvNode* get() const { return node; }
    LilvNode** out() { return &node; }
    std::string text() const { return node ? lilv_node_as_string(node) : ""; }
    explicit operator bool() const { return node != nullptr; }

private:
    LilvNode* node;
};

// The part of a URI after its '#' (or its last '/'): "ms" for units#ms.
std::string shortName(const std::string& uri) {
    const size_t at = uri.find_last_of("#/");
    return at == std::string::npos ? uri : uri.substr(at + 1);
}

std::string number(const LilvNode* node) {
    if (node == nullptr) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(lilv_node_as_float(node)));
    return text;
}

std::string filePath(const LilvNode* uri) {
    if (uri == nullptr) return "";
    char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
    std::string s = path ? path : lilv_node_as_uri(uri);
    lilv_free(path);
    return s;
}

// "Init 2" before "Init 10": runs of digits compare as numbers.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            const size_t ai = a.find_first_not_of("0123456789", i), bj = b.find_first_not_of("0123456789", j);
            const std::string x = a.substr(i, ai - i), y = b.substr(j, bj - j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = ai == std::string::npos ? a.size() : ai;
            j = bj == std::string::npos ? b.size() : bj;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i, ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> strings(const LilvNodes* nodes, bool shortNames) {
    std::vector<std::string> out;
    LILV_FOREACH (nodes, i, nodes) {
        const std::string s = lilv_node_as_string(lilv_nodes_get(nodes, i));
        out.push_back(shortNames ? shortName(s) : s);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string joined(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& item : items) s += (s.empty() ? "" : " ") + item;
    return s.empty() ? "none" : s;
}

// lilv reports unreadable Turtle on stderr, line by line; the command says what went wrong in
// one line of its own instead.
class QuietStderr {
public:
    QuietStderr() : saved(dup(2)) {
        std::fflush(stderr);
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), 2);
            std::fclose(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved >= 0) {
            dup2(saved, 2);
            close(saved);
        }
    }

private:
    int saved;
};

void printPorts(LilvWorld* world, const LilvPlugin* plugin) {
    const Node audio(lilv_new_uri(world, LV2_CORE_PREFIX "AudioPort")), control(lilv_new_uri(world, LV2_CORE_PREFIX "ControlPort"));
    const Node cv(lilv_new_uri(world, LV2_CORE_PREFIX "CVPort")), input(lilv_new_uri(world, LV2_CORE_PREFIX "InputPort"));
    const Node unit(lilv_new_uri(world, "http://lv2plug.in/ns/extensions/units#unit"));
    std::printf("\nports:\n");
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const Node name(lilv_port_get_name(plugin, port));
        const char* kind = lilv_port_is_a(plugin, port, audio.get())     ? "audio"
                           : lilv_port_is_a(plugin, port, control.get()) ? "control"
                           : lilv_port_is_a(plugin, port, cv.get())      ? "cv"
                                                                         : "other";
        char head[160];
        std::snprintf(head, sizeof head, "  %2u  %-10s %-7s %-3s  %-14s", i,
                      lilv_node_as_string(lilv_port_get_symbol(plugin, port)), kind,
                      lilv_port_is_a(plugin, port, input.get()) ? "in" : "out", name.text().c_str());
        std::string line = head;
        Node def, min, max;
        lilv_port_get_range(plugin, port, def.out(), min.out(), max.out());
        if (min && max) line += " " + number(min.get()) + " to " + number(max.get());
        if (LilvNodes* units = lilv_port_get_value(plugin, port, unit.get())) {
            line += " " + joined(strings(units, true));
            lilv_nodes_free(units);
        }
        if (def) line += ", default " + number(def.get());
        if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
            std::vector<std::pair<float, std::string>> labelled;
            LILV_FOREACH (scale_points, k, points) {
                const LilvScalePoint* p = lilv_scale_points_get(points, k);
                labelled.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(p)),
                                      lilv_node_as_string(lilv_scale_point_get_label(p)));
            }
            std::sort(labelled.begin(), labelled.end());
            line += ":";
            for (const auto& [value, label] : labelled) {
                char point[32];
                std::snprintf(point, sizeof point, " %g=", static_cast<double>(value));
                line += point + label;
            }
            lilv_scale_points_free(points);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::printf("%s\n", line.c_str());
    }
}

void printPresets(LilvWorld* world, const LilvPlugin* plugin) {
    const Node preset(lilv_new_uri(world, "http://lv2plug.in/ns/ext/presets#Preset"));
    const Node label(lilv_new_uri(world, "http://www.w3.org/2000/01/rdf-schema#label"));
    std::vector<std::string> names;
    if (LilvNodes* presets = lilv_plugin_get_related(plugin, preset.get())) {
        LILV_FOREACH (nodes, i, presets) {
            const LilvNode* p = lilv_nodes_get(presets, i);
            lilv_world_load_resource(world, p);
            const Node name(lilv_world_get(world, p, label.get(), nullptr));
            names.push_back(name ? name.text() : lilv_node_as_uri(p));
        }
        lilv_nodes_free(presets);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    std::printf("\npresets (%zu):\n", names.size());
    for (const std::string& name : names) std::printf("  %s\n", name.c_str());
}

// One plug-in of the bundle; false when a host could not use it.
bool describe(LilvWorld* world, const LilvPlugin* plugin) {
    const Node type(lilv_new_uri(world, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"));
    const Node name(lilv_plugin_get_name(plugin)), author(lilv_plugin_get_author_name(plugin));
    std::printf("plugin        %s\n", lilv_node_as_uri(lilv_plugin_get_uri(plugin)));
    std::printf("name          %s\n", name.text().c_str());
    std::printf("author        %s\n", author ? author.text().c_str() : "(none)");
    std::vector<std::string> classes;
    if (LilvNodes* types = lilv_plugin_get_value(plugin, type.get())) {
        for (const std::string& t : strings(types, false))
            if (t.rfind(kLv2, 0) == 0 && t != std::string(kLv2) + "Plugin") classes.push_back(shortName(t));
        lilv_nodes_free(types);
    }
    std::printf("class         %s\n", joined(classes).c_str());
    std::printf("binary        %s\n", filePath(lilv_plugin_get_library_uri(plugin)).c_str());
    std::printf("latency       %s\n", lilv_plugin_has_latency(plugin) ? "reported by a port" : "none");
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LilvNodes* optional = lilv_plugin_get_optional_features(plugin);
    std::printf("features      required: %s; optional: %s\n", joined(strings(required, true)).c_str(),
                joined(strings(optional, true)).c_str());
    const bool needsFeatures = required && lilv_nodes_size(required) > 0;
    lilv_nodes_free(required);
    lilv_nodes_free(optional);

    bool usable = true;
    if (needsFeatures) {
        std::printf("instance      not made here: it needs the features above\n");
    } else {
        LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, nullptr);
        std::printf("instance      %s\n", instance ? "made at 48000 Hz" : "cannot be made at 48000 Hz");
        usable = instance != nullptr;
        if (instance) lilv_instance_free(instance);
    }
    if (LilvUIs* uis = lilv_plugin_get_uis(plugin)) {
        LILV_FOREACH (uis, i, uis) {
            const LilvUI* ui = lilv_uis_get(uis, i);
            std::printf("UI            %s (%s) %s\n", lilv_node_as_uri(lilv_ui_get_uri(ui)),
                        joined(strings(lilv_ui_get_classes(ui), true)).c_str(),
                        filePath(lilv_ui_get_binary_uri(ui)).c_str());
        }
        lilv_uis_free(uis);
    }
    printPorts(world, plugin);
    printPresets(world, plugin);
    return usable;
}

}  // namespace

int lumetra::runInfoLv2(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_regular_file(fs::path(path) / "manifest.ttl", error)) {
        std::fprintf(stderr, "lumetra info: %s: not an LV2 bundle (no manifest.ttl in it)\n", path.c_str());
        return 2;
    }
    std::string dir = fs::absolute(path, error).lexically_normal().string();
    if (!dir.ends_with("/")) dir += '/';

    LilvWorld* world = lilv_world_new();
    std::vector<const LilvPlugin*> plugins;
    {
        QuietStderr quiet;
        const Node bundle(lilv_new_file_uri(world, nullptr, dir.c_str()));
        lilv_world_load_bundle(world, bundle.get());
        const LilvPlugins* all = lilv_world_get_all_plugins(world);
        LILV_FOREACH (plugins, i, all) {
            const LilvPlugin* p = lilv_plugins_get(all, i);
            if (lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundle.get()) && lilv_plugin_verify(p)) plugins.push_back(p);
        }
    }
    if (plugins.empty()) {
        lilv_world_free(world);
        std::fprintf(stderr, "lumetra info: %s: no complete LV2 plug-in description in the bundle\n", path.c_str());
        return 2;
    }
    std::printf("bundle        %s\n", dir.c_str());
    bool usable = true;
    for (const LilvPlugin* plugin : plugins) {
        std::printf("\n");
        std::fflush(stdout);
        QuietStderr quiet;  // the binary's loading, and the presets' Turtle
        usable = describe(world, plugin) && usable;
        std::fflush(stdout);
    }
    lilv_world_free(world);
    if (!usable) std::fprintf(stderr, "lumetra info: %s: a plug-in in it cannot be made\n", path.c_str());
    return usable ? 0 : 2;
}
