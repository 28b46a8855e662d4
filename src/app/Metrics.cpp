#include "app/Metrics.h"
#include <charconv>
#include <cmath>
#include <map>
#include <stdexcept>

namespace
{
    enum KIND
    {
        COUNTER,
        GAUGE,
        HISTOGRAM
    };

    struct Declaration
    {
        const char* name;
        KIND kind;
        const char* help;
        std::vector<double> buckets;  // upper bounds, rising; histograms only
        bool labelled = false;
        // Label sets shown with 0 before anything was counted, so that a rate can be taken from the start.
        std::vector<Metrics::Labels> known;
    };

    const std::vector<Declaration> declarations = {
        {"pelko_downloads_total", COUNTER, "Downloads that ended, by outcome.", {}, true,
         {{{"outcome", "finished"}}, {{"outcome", "failed"}}, {{"outcome", "cancelled"}}}},
        {"pelko_downloaded_bytes_total", COUNTER, "Bytes of the files of finished downloads.", {}, false, {}},
        {"pelko_queue_length", GAUGE, "Downloads waiting for their turn.", {}, false, {}},
        {"pelko_running_downloads", GAUGE, "Downloads whose program runs.", {}, false, {}},
        {"pelko_metadata_fetch_duration_seconds", HISTOGRAM, "How long reading a video's details took.",
         {0.25, 0.5, 1, 2, 5, 10, 30, 60}, false, {}},
        {"pelko_download_duration_seconds", HISTOGRAM, "How long the program of a download ran until it ended.",
         {1, 5, 15, 30, 60, 120, 300, 600, 1800, 3600}, false, {}},
        {"pelko_http_requests_total", COUNTER, "HTTP requests answered, by route and status class.", {}, true, {}},
        {"pelko_subscription_checks_total", COUNTER, "Checks of subscriptions, by outcome.", {}, true,
         {{{"outcome", "ok"}}, {{"outcome", "failed"}}}},
        {"pelko_cache_bytes", GAUGE, "Bytes the download cache takes on disk.", {}, false, {}},
        {"process_resident_memory_bytes", GAUGE, "Resident memory of the server process.", {}, false, {}},
        {"pelko_open_connections", GAUGE, "Open HTTP connections, event streams included.", {}, false, {}},
    };

    struct Series
    {
        double value = 0;
        std::vector<uint64_t> bucketCounts;  // histograms: observations at or below each bound
        uint64_t count = 0;
    };
    // By metric name, then by labels.
    std::map<std::string, std::map<Metrics::Labels, Series>> values;

    const Declaration& Declared(const std::string& name, KIND kind)
    {
        for (const Declaration& declaration : declarations)
            if (declaration.name == name && declaration.kind == kind)
                return declaration;
        throw std::invalid_argument("No metric \"" + name + "\" of that kind is declared.\n");
    }

    std::string Number(double value)
    {
        if (std::isinf(value))
            return value > 0 ? "+Inf" : "-Inf";
        if (std::isnan(value))
            return "NaN";
        char text[32];
        const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
        return std::string(text, end);
    }

    std::string Escaped(const std::string& value)
    {
        std::string out;
        for (const char c : value)
        {
            if (c == '\\' || c == '"')
                out += '\\';
            if (c == '\n')
            {
                out += "\\n";
                continue;
            }
            out += c;
        }
        return out;
    }

    const char* KindName(KIND kind)
    {
        switch (kind)
        {
        case COUNTER:
            return "counter";
        case GAUGE:
            return "gauge";
        default:
            return "histogram";
        }
    }

    std::string LabelText(const Metrics::Labels& labels)
    {
        if (labels.empty())
            return "";
        std::string text = "{";
        for (const auto& [name, value] : labels)
            text += (text.size() > 1 ? "," : "") + name + "=\"" + Escaped(value) + "\"";
        return text + "}";
    }

    void RenderHistogram(std::string& out, const Declaration& declaration, const Series& series)
    {
        const std::string name = declaration.name;
        for (size_t bucket = 0; bucket < declaration.buckets.size(); ++bucket)
            out += name + "_bucket{le=\"" + Number(declaration.buckets[bucket]) + "\"} " +
                   std::to_string(series.bucketCounts.empty() ? 0 : series.bucketCounts[bucket]) + "\n";
        out += name + "_bucket{le=\"+Inf\"} " + std::to_string(series.count) + "\n";
        out += name + "_sum " + Number(series.value) + "\n";
        out += name + "_count " + std::to_string(series.count) + "\n";
    }
}

void Metrics::Count(const std::string& name, const Labels& labels, double amount)
{
    Declared(name, COUNTER);
    values[name][labels].value += amount;
}

void Metrics::Set(const std::string& name, double value)
{
    Declared(name, GAUGE);
    values[name][{}].value = value;
}

void Metrics::Observe(const std::string& name, double value)
{
    const Declaration& declaration = Declared(name, HISTOGRAM);
    Series& series = values[name][{}];
    series.bucketCounts.resize(declaration.buckets.size());
    for (size_t bucket = 0; bucket < declaration.buckets.size(); ++bucket)
        if (value <= declaration.buckets[bucket])
            series.bucketCounts[bucket]++;
    series.value += value;
    series.count++;
}

std::string Metrics::Render()
{
    std::string out;
    for (const Declaration& declaration : declarations)
    {
        const std::string name = declaration.name;
        out += "# HELP " + name + " " + declaration.help + "\n";
        out += "# TYPE " + name + " " + KindName(declaration.kind) + "\n";
        std::map<Labels, Series> series = values[name];
        for (const Labels& labels : declaration.known)
            series.try_emplace(labels);
        if (!declaration.labelled)
            series.try_emplace(Labels{});
        for (const auto& [labels, one] : series)
        {
            if (declaration.kind == HISTOGRAM)
                RenderHistogram(out, declaration, one);
            else
                out += name + LabelText(labels) + " " + Number(one.value) + "\n";
        }
    }
    return out;
}
