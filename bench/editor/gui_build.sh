# shellcheck shell=bash
# Sourced by bench/editor.sh, bench/tamsel_start.sh and bench/run_all.sh, from
# the repository root.
#
# bench_build_gui TARGET...: configures build/bench in Release with the GUI on
# and builds the targets, the build's output on stderr. -O2 rather than
# CMake's -O3: GCC 12 at -O3 reports a false -Wrestrict inside std::string's
# operator+ (editor/ini/backup_store.cpp), and warnings are errors.
bench_build_gui() {
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_WITH_GUI=ON \
    -DTAMSEL_BUILD_TESTS=OFF "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >&2
  cmake --build build/bench -j 2 --target "$@" >&2
}

# bench_gui_environment: the offscreen platform and a private runtime folder
# (Qt warns on stderr without one) under a work folder, $bench_work, that is
# removed on exit.
bench_gui_environment() {
  bench_work=$(mktemp -d)
  trap 'rm -rf "$bench_work"' EXIT
  mkdir -m 0700 "$bench_work/runtime"
  export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$bench_work/runtime"
}
