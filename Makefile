# The two commands a newcomer needs: `make run` and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
# CMake's own makefiles would otherwise fill a third of the log with
# "Entering/Leaving directory" lines.
MAKEFLAGS += --no-print-directory
# Our sources, each folder a library (tests/ and bench/ included).
SOURCE_FOLDERS = app|bench|browser|cli|delivery|hotfolder|imaging|intake|naming|platform|preferences|reassign|relaunch|roster|settings|shoot|support|tests

.PHONY: all deps configure build run test test-asan test-stress test-debian13 tidy format bench screenshots package demo clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/vemo-sorrelby

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# The suite built with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan (the asan-ubsan preset, which holds the sanitizers' options and
# runs each test program whole); ASAN_TESTS gives other ctest arguments, e.g.
# ASAN_TESTS="-L '^naming$$'", or ASAN_TESTS="-R ." for the cases one by one.
test-asan: deps
	@cmake --preset asan-ubsan >/dev/null
	@cmake --build --preset asan-ubsan -j $(JOBS)
	ctest --preset asan-ubsan -j $(JOBS) $(ASAN_TESTS)

# The suite three times in a row beside two busy loops (a loaded machine).
test-stress: build
	@scripts/test-stress $(BUILD_DIR)

# The same build and suite inside a Debian 13 root (made once, then reused;
# see scripts/debian13).
test-debian13:
	@scripts/debian13 test

# clang-tidy with the checks of .clang-tidy over our sources, not over the
# generated ones; it needs only the configured build (compile_commands.json).
tidy: configure
	@scripts/install-deps tidy
	@run-clang-tidy -p $(BUILD_DIR) -quiet -j $(JOBS) '^$(CURDIR)/($(SOURCE_FOLDERS))/.*\.cpp$$'

# The house layout of .clang-format over every tracked C++ file;
# FORMAT_CHECK=1 only reports the files that stray from it.
format:
	@scripts/install-deps tidy
	@git ls-files '*.cpp' '*.h' | xargs clang-format $(if $(FORMAT_CHECK),--dry-run -Werror,-i)

bench: build
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target sorrelby_benchmarks
	@set -e; for b in $(BUILD_DIR)/bin/bench-*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b; done

screenshots: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target sorrelby-screenshots
	QT_QPA_PLATFORM=$${QT_QPA_PLATFORM:-offscreen} $(BUILD_DIR)/bin/sorrelby-screenshots docs/screenshots

# The window on a generated sample shoot, with settings of its own.
demo: build
	@SORRELBY_BUILD_DIR=$(BUILD_DIR) scripts/demo

# The Debian package in build/package/, checked by lintian.
package: configure
	@scripts/install-deps package
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target vemo-sorrelby vemo-sorrelby-window watchdog relaunch sorrelby-dist
	@rm -f $(BUILD_DIR)/package/*.deb
	cd $(BUILD_DIR) && cpack -G DEB -B package
	lintian --fail-on error $(BUILD_DIR)/package/*.deb

clean:
	rm -rf $(BUILD_DIR)
