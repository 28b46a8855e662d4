#pragma once
#include <string>
#include <utility>
#include <vector>

// What the server has done since it started, counted where it happens and read by the metrics
// page in the Prometheus text format. Every metric is declared once, in Metrics.cpp, with its
// kind, help text and (for histograms) buckets; asking for any other name throws
// std::invalid_argument. Main thread only.
class Metrics
{
public:
    // Label names and values, in the order they are written.
    using Labels = std::vector<std::pair<std::string, std::string>>;

    // Adds `amount` to the counter `name` with `labels`.
    static void Count(const std::string& name, const Labels& labels = {}, double amount = 1);
    // Sets the gauge `name`.
    static void Set(const std::string& name, double value);
    // Adds one observation to the histogram `name`.
    static void Observe(const std::string& name, double value);

    // Every metric in the text exposition format 0.0.4, in the order of the declarations; one
    // without labels reads 0 before anything was counted.
    static std::string Render();
};
