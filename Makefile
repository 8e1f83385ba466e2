# Set-up and everyday commands. Every target installs what it needs on a fresh Debian 12.
SHELL := /bin/bash
# Qt 5 unless OSTROVEL_QT=6 is given: then every target builds the same tree against Qt 6, in
# folders of its own ending in -qt6, after installing the Qt 6 packages (deps-qt6).
OSTROVEL_QT ?= 5
QT_SUFFIX := $(if $(filter 6,$(OSTROVEL_QT)),-qt6)
BUILD_DIR ?= build$(QT_SUFFIX)
SANITIZE_DIR ?= build-sanitize$(QT_SUFFIX)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_BUILD_TYPE ?= RelWithDebInfo

# Exactly what the build, the tests and the offscreen screenshots need.
# libpq-dev and pkg-config build the fleet journal's client; postgresql runs the server its tests
# start.
COMMON_PACKAGES := g++ make cmake libsqlite3-dev fonts-dejavu-core desktop-file-utils appstream \
    libpq-dev pkg-config postgresql
PACKAGES := $(COMMON_PACKAGES) qtbase5-dev libqt5serialport5-dev libqt5sql5-sqlite \
    libqt5svg5-dev libqt5charts5-dev qttranslations5-l10n
# Qt 6 Charts' CMake files need Qt 6 OpenGL's, which Debian 12 ships apart.
QT6_PACKAGES := $(COMMON_PACKAGES) qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite \
    qt6-svg-dev qt6-charts-dev libqt6opengl6-dev qt6-5compat-dev qt6-translations-l10n
BENCH_PACKAGES := sqlite3
# dpkg-shlibdeps finds the package's dependencies; it needs `file` to recognise the program.
PACKAGE_PACKAGES := dpkg-dev file
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
PACKAGE_DIR ?= build-package$(QT_SUFFIX)
FUZZ_DIR ?= build-fuzz$(QT_SUFFIX)
QT_DEPS := $(if $(QT_SUFFIX),deps-qt6,deps)
QT_OPTION := -DOSTROVEL_QT=$(OSTROVEL_QT)
FUZZ_RUNS ?= 1000000

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT := $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get

# Installs the named packages that are missing; the package lists are refreshed first,
# because on a fresh machine they are empty.
define install_missing
	@missing=""; \
	for p in $(1); do \
	    dpkg-query -W -f='$${Status}' "$$p" 2>/dev/null | grep -q 'install ok installed' \
	        || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(APT) update && $(APT) install -y --no-install-recommends $$missing; \
	fi
endef

.PHONY: all deps deps-qt6 configure build test test-qt6 run demo sanitize bench bench-fleet soak \
    package fuzz screenshot clean

all: build

deps:
	$(call install_missing,$(PACKAGES))

deps-qt6:
	$(call install_missing,$(QT6_PACKAGES))

# Line tables are all a backtrace needs; full debug information costs a quarter of the build.
RELWITHDEBINFO_FLAGS ?= -O2 -g1 -DNDEBUG

configure: $(QT_DEPS)
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(CMAKE_BUILD_TYPE) -DOSTROVEL_WERROR=ON $(QT_OPTION) \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(RELWITHDEBINFO_FLAGS)"

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The whole suite built against Qt 6 in build-qt6/.
test-qt6:
	$(MAKE) test OSTROVEL_QT=6

# These build only what they start, not the tests and benchmarks.
run: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target ostrovel
	$(BUILD_DIR)/src/ostrovel

demo: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target ostrovel ostrovel-panelsim ostrovel-demodb
	tools/demo.sh $(BUILD_DIR)

sanitize: $(QT_DEPS)
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DOSTROVEL_SANITIZE=ON -DOSTROVEL_WERROR=ON \
	    $(QT_OPTION)
	cmake --build $(SANITIZE_DIR) -j$(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	    ctest --output-on-failure -j$(JOBS)

bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	cmake --build $(BUILD_DIR) -j$(JOBS) --target benchmarks
	$(BUILD_DIR)/bench/bench_link
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_reopen
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_events
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_events --newest-first
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_database
	$(BUILD_DIR)/bench/bench_generation
	$(BUILD_DIR)/bench/bench_firmware
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_csv
	$(BUILD_DIR)/bench/bench_panel
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_snapshots
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_journal
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_recorder
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_recorder --idle 60

# The fleet journal on a PostgreSQL server of its own, run apart for it takes ten minutes or so:
# a backlog of a million records, the delay to the server, a hundred sites at once, and a
# central journal of ten million records with the dispatcher's view. BENCH_FLEET_OPTIONS passes
# --backlog N and --central N for a quicker run.
bench-fleet: build
	cmake --build $(BUILD_DIR) -j$(JOBS) --target bench_fleet
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bench/bench_fleet $(BENCH_FLEET_OPTIONS)

# The worker against the simulator at the line rate with faults, MINUTES long (10 unless given);
# SOAK_OPTIONS passes more (--seed N, --fault-rate F, --seconds N).
soak: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target soak
	$(BUILD_DIR)/bench/soak $(if $(MINUTES),--minutes $(MINUTES)) $(SOAK_OPTIONS)

# A Debian package built the way a packager would: Release, no tests, warnings not fatal.
package: $(QT_DEPS)
	$(call install_missing,$(PACKAGE_PACKAGES))
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF $(QT_OPTION)
	cmake --build $(PACKAGE_DIR) -j$(JOBS) --target package
	@ls -l $(PACKAGE_DIR)/ostrovel_*.deb

# Every parser of panel and file bytes under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, FUZZ_RUNS inputs each, one after another.
fuzz: $(QT_DEPS)
	$(call install_missing,$(FUZZ_PACKAGES))
	CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	    -DOSTROVEL_SANITIZE=ON -DOSTROVEL_FUZZ=ON -DBUILD_TESTING=OFF -DOSTROVEL_FUZZ_RUNS=$(FUZZ_RUNS) \
	    $(QT_OPTION)
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target fuzzers
	cmake --build $(FUZZ_DIR) -j1 --target run-fuzzers

# Retakes the main window's screenshot that the software-centre metadata shows.
screenshot: build
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tools/screenshot/ostrovel-screenshot \
	    resources/screenshots/main-window.png

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(PACKAGE_DIR) $(FUZZ_DIR)
	rm -rf $(addsuffix -qt6,build build-sanitize build-package build-fuzz)
