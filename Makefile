# One-command set-up, build, run and test on Debian/Ubuntu.
#   make run   - install what is missing, build, start the program in ./run-data
#   make test  - install what is missing, build, run every test headless with CTest
#   make bench - build the release preset, run the benchmarks, then start-up against the floor
#                (ROUNDS/RUNS as compare.sh takes them; STARTUP_COMPARE is its path)
#   make fuzz  - build the fuzz targets with clang and run one until stopped (FUZZ_SECONDS=n to
#                bound it, FUZZ_TARGET=fuzz_answerlog for the answer log's; make test builds
#                them too and runs each for a fixed number of inputs)
#   make package - build the program alone in release mode and make build/package/quorin_*.deb
#   make icons - render the hicolor PNG icons again from resources/icons/*.svg
#   make windows - cross-build for Windows with MinGW-w64 against a Windows Qt built once into
#                  ~/.cache/quorin-windows, then the installer and the portable zip
#   make windows-test - run the Windows build's tests, installer and program under Wine

PRESET      ?= dev
BUILD_DIR   := build/$(PRESET)
WERROR      ?= OFF
RUN_DIR     := run-data
DEB_PACKAGES := g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
                fonts-ipafont-gothic fontconfig xvfb libx11-dev libxtst-dev \
                dpkg-dev file desktop-file-utils appstream poppler-utils qt6-translations-l10n \
                qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
FUZZ_PACKAGES := clang libclang-rt-14-dev
# The page tests: Node.js with npm (Debian's npm is a package of its own; Node.js from other
# sources brings npm and conflicts with it, so npm is only installed when missing) and
# Debian's Chromium, which puppeteer-core drives (it downloads no browser), and WebKitGTK's
# WebDriver with its MiniBrowser for the same journeys in WebKit.
WEB_PACKAGES := chromium nodejs webkit2gtk-driver
ICON_PACKAGES := librsvg2-bin
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev qt6-base-dev-tools \
                    dpkg-dev nsis icoutils qt6-translations-l10n
WINDOWS_TEST_PACKAGES := wine64 xvfb x11-utils xdotool imagemagick fonts-ipafont-gothic locales
WINDOWS_DIR := build/windows
BENCH_PRESET ?= release
STARTUP_COMPARE ?= ../shared/tools/startup/compare.sh

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: all deps build run test bench fuzz fuzz-deps fuzz-target web-deps clean format package icons \
        windows windows-deps windows-test windows-test-deps

all: build

# Installs those of the given Debian packages that are not there yet.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(DEB_PACKAGES))

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

build: deps
	cmake --preset $(PRESET) -DQUORIN_WERROR=$(WERROR) >/dev/null
	cmake --build --preset $(PRESET)

run: build
	@mkdir -p $(RUN_DIR)
	cd $(RUN_DIR) && ../$(BUILD_DIR)/src/quorin

test: build fuzz-target web-deps
	ctest --preset $(PRESET)

web-deps:
	$(call install_missing,$(WEB_PACKAGES))
	@command -v npm >/dev/null || { $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends npm; }
	cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error

# Only the fuzz targets and the libraries they link are compiled in the fuzz preset.
fuzz-target: deps fuzz-deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target fuzz_records fuzz_answerlog

# Times are only worth reading from an optimised build, so the benchmarks build their own
# preset. The start-up comparison needs Xvfb and the team's compare.sh; without them it says
# so instead of printing a figure.
bench: deps
	cmake --preset $(BENCH_PRESET) -DQUORIN_WERROR=$(WERROR) >/dev/null
	cmake --build --preset $(BENCH_PRESET)
	@for b in build/$(BENCH_PRESET)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done; true
	@if [ -x "$(STARTUP_COMPARE)" ] && command -v Xvfb >/dev/null; then \
	  echo "start-up against the floor:"; \
	  ROUNDS=$${ROUNDS:-3} RUNS=$${RUNS:-5} "$(STARTUP_COMPARE)" build/$(BENCH_PRESET)/src/quorin; \
	else \
	  echo "start-up against the floor: not measured (needs Xvfb and $(STARTUP_COMPARE))"; \
	fi

# New inputs go to build/fuzz/corpus-<target>; the seeds in tests/fuzz stay as they are.
FUZZ_TARGET ?= fuzz_records
fuzz: fuzz-target
	@seeds=tests/fuzz/corpus; [ "$(FUZZ_TARGET)" = fuzz_answerlog ] && seeds=tests/fuzz/corpus-answerlog; \
	mkdir -p build/fuzz/corpus-$(FUZZ_TARGET) build/fuzz/artifacts && \
	build/fuzz/tests/fuzz/$(FUZZ_TARGET) -max_total_time=$${FUZZ_SECONDS:-0} \
	  -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus-$(FUZZ_TARGET) $$seeds

# The package preset builds the program without the tests and benchmarks; cpack's DEB
# generator needs dpkg-shlibdeps (dpkg-dev) and file, both in DEB_PACKAGES.
package: deps
	cmake --preset package -DQUORIN_WERROR=$(WERROR) >/dev/null
	cmake --build --preset package
	cpack --preset package
	@ls build/package/quorin_*.deb

icons:
	$(call install_missing,$(ICON_PACKAGES))
	resources/icons/make_hicolor.sh

# The Windows Qt is built at nice 19 on its first run (about an hour on two cores) and reused
# afterwards; windows/build-qt.sh prints its prefix.
windows-deps:
	$(call install_missing,$(WINDOWS_PACKAGES))

windows: windows-deps
	@qt=$$(windows/build-qt.sh) && \
	  QUORIN_QT_WINDOWS=$$qt cmake --preset windows -DQUORIN_WERROR=$(WERROR) >/dev/null
	nice -n 19 cmake --build --preset windows
	windows/pack.sh $(WINDOWS_DIR)

windows-test-deps:
	$(call install_missing,$(WINDOWS_TEST_PACKAGES))

windows-test: windows windows-test-deps web-deps
	windows/test.sh $(WINDOWS_DIR)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
