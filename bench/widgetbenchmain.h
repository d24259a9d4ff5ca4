#pragma once

// The main of a benchmark that needs widgets: offscreen unless a platform is
// asked for, so it runs on a build machine without a display.
#include <QApplication>

#include <benchmark/benchmark.h>

#define HCHAT_WIDGET_BENCHMARK_MAIN()                                                                        \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication app(argc, argv);                                                                        \
        benchmark::Initialize(&argc, argv);                                                                  \
        benchmark::RunSpecifiedBenchmarks();                                                                 \
        benchmark::Shutdown();                                                                               \
        return 0;                                                                                            \
    }
