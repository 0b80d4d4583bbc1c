// Loads a generated drive description of 10,000 variables (UTF-8 and UTF-16LE) into the XML
// model and walks it, next to libxml2 and pugixml on the same files. Prints minimum and median
// times and the ratios of the minimums (the least disturbed runs on a shared machine).
// Usage: bench_foundation_xml [runs] [ours|libxml2|pugixml]
// (one parser only, e.g. under callgrind with --toggle-collect='*RunOnce*').
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "foundation/TextFile.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace fs = std::filesystem;

namespace {

std::string MakeDescription(int variables) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- generated drive description -->\n";
    xml += "<DEVICE ver=\"3\" code=\"6871\" name=\"Servo &#232; drive\">\n\t<Vocabulary>\n";
    char buffer[1024];
    for (int i = 0; i < variables; ++i) {
        std::snprintf(
            buffer, sizeof buffer,
            "\t\t<Variable Name=\"Var%05d\" Id=\"%d\" Index=\"0x%04X\" SubIndex=\"%d\" Access=\"rw\" "
            "Level=\"%d\" Modbus=\"%d\" Size=\"4\" Signed=\"True\" Restore=\"1\" Class=\"%d\">\n"
            "\t\t\t<Description>Speed reference of axis %d in &#176;/s, limited by the motor "
            "data &amp; the drive &lt;rated&gt; values</Description>\n"
            "\t\t\t<Unit>rpm</Unit>\n\t\t\t<Limits Min=\"-10000\" Max=\"10000\" Default=\"0\"/>\n"
            "\t\t\t<Texts it=\"Riferimento di velocit\xC3\xA0\" en=\"Speed reference\" "
            "de=\"Drehzahlsollwert \xC3\xBC\"/>\n"
            "\t\t\t<Enum><Value v=\"0\">Off</Value><Value v=\"1\">On</Value></Enum>\n"
            "\t\t</Variable>\n",
            i, i, 0x2000 + i % 0x1000, i % 8, (i % 3) * 100, 1000 + i, i % 10, i % 4);
        xml += buffer;
    }
    xml += "\t</Vocabulary>\n</DEVICE>\n";
    return xml;
}

struct Tally {
    size_t nodes = 0;
    size_t attributes = 0;
    size_t bytes = 0;
};

void Walk(const CXmlNode& node, Tally& tally) {
    ++tally.nodes;
    tally.bytes += node.Value().size();
    for (const CXmlAttribute* a : node.Attributes()) {
        ++tally.attributes;
        tally.bytes += a->Value().size();
    }
    for (const CXmlNode* child : node.Children()) Walk(*child, tally);
}

void Walk(xmlNode* node, Tally& tally) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            ++tally.nodes;
            for (xmlAttr* a = node->properties; a; a = a->next) {
                ++tally.attributes;
                if (a->children && a->children->content) tally.bytes += xmlStrlen(a->children->content);
            }
        } else if (node->type == XML_TEXT_NODE && node->content) {
            tally.bytes += xmlStrlen(node->content);
        }
        Walk(node->children, tally);
    }
}

void Walk(const pugi::xml_node& node, Tally& tally) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            ++tally.nodes;
            for (pugi::xml_attribute a = child.first_attribute(); a; a = a.next_attribute()) {
                ++tally.attributes;
                tally.bytes += std::char_traits<char>::length(a.value());
            }
        } else if (child.type() == pugi::node_pcdata) {
            tally.bytes += std::char_traits<char>::length(child.value());
        }
        Walk(child, tally);
    }
}

// One parser under test. The parsers take turns in rounds of a few runs each, so that a busy
// machine slows all of them alike while each still runs in its steady state (its own buffers
// reused from the heap rather than fresh pages from the system).
struct Contender {
    const char* name;
    bool enabled;
    std::function<Tally()> run;
    std::vector<double> times;
    Tally tally;

    [[gnu::noinline]] void RunOnce() {
        if (!enabled) return;
        const auto start = std::chrono::steady_clock::now();
        tally = run();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    double Min() const { return times.empty() ? 0 : *std::min_element(times.begin(), times.end()); }
    double Median() const {
        if (times.empty()) return 0;
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string only = argc > 2 ? argv[2] : "";
    const fs::path dir = fs::temp_directory_path() / ("tunova_bench_xml_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string text = MakeDescription(10000);
    const fs::path utf8 = dir / "description-utf8.xml";
    const fs::path utf16 = dir / "description-utf16le.xml";
    {
        std::ofstream(utf8, std::ios::binary) << text;
        TextFile out;
        out.OpenForWriting(utf16);
        out.SetEncoding(kTextEncodingUtf16Le);
        out.SetFlags(kTextFileRawLineEnds);
        out.SetByteOrderMarkPending(true);
        out.CreateWriter();
        out.Write(text);
        if (out.Close() != 0) {
            std::fprintf(stderr, "cannot write %s\n", utf16.c_str());
            return 1;
        }
    }
    std::printf("description: 10000 variables, %.2f MB UTF-8, %.2f MB UTF-16LE; %d runs\n",
                static_cast<double>(fs::file_size(utf8)) / 1e6,
                static_cast<double>(fs::file_size(utf16)) / 1e6, runs);
    xmlInitParser();
    for (const fs::path& file : {utf8, utf16}) {
        Contender ours{"CXmlDocument",
                       only.empty() || only == "ours",
                       [&] {
                           CXmlDocument doc;
                           doc.SetEncoding(file == utf8 ? kTextEncodingUtf8 : kTextEncodingDetect);
                           Tally t;
                           if (doc.Load(file) != S_OK) std::fprintf(stderr, "load failed\n");
                           Walk(doc.Root(), t);
                           return t;
                       },
                       {},
                       {}};
        Contender lib{"libxml2",
                      only.empty() || only == "libxml2",
                      [&] {
                          Tally t;
                          xmlDoc* doc = xmlReadFile(file.c_str(), nullptr, 0);
                          if (!doc) std::fprintf(stderr, "libxml2 failed\n");
                          Walk(xmlDocGetRootElement(doc), t);
                          xmlFreeDoc(doc);
                          return t;
                      },
                      {},
                      {}};
        Contender pugi{"pugixml",
                       only.empty() || only == "pugixml",
                       [&] {
                           pugi::xml_document doc;
                           Tally t;
                           if (!doc.load_file(file.c_str())) std::fprintf(stderr, "pugixml failed\n");
                           Walk(doc, t);
                           return t;
                       },
                       {},
                       {}};
        constexpr int kRunsPerRound = 5;
        for (int done = 0; done < runs; done += kRunsPerRound) {
            for (Contender* c : {&ours, &lib, &pugi}) {
                for (int i = done; i < std::min(runs, done + kRunsPerRound); ++i) c->RunOnce();
            }
        }
        std::printf("%s            min ms  median ms\n", file.filename().c_str());
        for (const Contender* c : {&ours, &lib, &pugi}) {
            if (!c->enabled) continue;
            std::printf("  %-12s %8.2f  %8.2f  (%zu elements, %zu attributes)\n", c->name, c->Min(),
                        c->Median(), c->tally.nodes, c->tally.attributes);
        }
        if (only.empty()) {
            std::printf(
                "  ratio of minimums: ours/libxml2 %.2f (goal <= 1.0), ours/pugixml %.2f (goal <= 2.0)\n",
                ours.Min() / lib.Min(), ours.Min() / pugi.Min());
            std::printf("  ratio of medians:  ours/libxml2 %.2f, ours/pugixml %.2f\n",
                        ours.Median() / lib.Median(), ours.Median() / pugi.Median());
        }
    }
    xmlCleanupParser();
    fs::remove_all(dir);
    return 0;
}
