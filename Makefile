# make run: install what the program needs, build it, start it.
# make test: the same install and build, then every test through CTest.

PACKAGES := build-essential cmake ninja-build qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins \
            libgtest-dev libgmock-dev nginx-light python3-aiosmtpd curl fonts-noto-cjk libssl-dev openssl \
            libavif-dev libavif-bin libjxl-dev libjxl-tools libsqlite3-dev \
            desktop-file-utils appstream dpkg-dev file qt6-translations-l10n qt6-svg-dev
# The layout's tool, installed by make format and make format-check alone.
FORMAT_PACKAGES := clang-format
BUILD    ?= build
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CTEST_TIMEOUT ?= 300
FUZZ_SECONDS ?= 60
# ccache speeds up rebuilds where it is installed; nothing needs it.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build run test tsan asan fuzz fuzz-build bench clean install uninstall deb format format-check

all: build

# $(call install,PACKAGES): installs those of the Debian packages that are missing.
define install
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install,$(PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER)
	cmake --build $(BUILD)

run: build
	$(BUILD)/bin/pelmor

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout $(CTEST_TIMEOUT)

# make format: lays every C++ source out as .clang-format says; make format-check fails, naming the
# files, when one differs. Only these two need clang-format.
format:
	$(call install,$(FORMAT_PACKAGES))
	tools/check-format --fix

format-check:
	$(call install,$(FORMAT_PACKAGES))
	tools/check-format

# make install [PREFIX=DIR]: the program, its plug-ins and desktop files below PREFIX (through sudo
# when PREFIX is not writable); make uninstall removes what it put there. make deb: build/pelmor_*.deb.
PREFIX ?= /usr/local
PREFIX_SUDO = $(shell mkdir -p "$(PREFIX)" 2>/dev/null; [ -w "$(PREFIX)" ] || echo $(SUDO))

install: build
	$(PREFIX_SUDO) cmake --install $(BUILD) --prefix "$(PREFIX)"
	@# Every install overwrites CMake's manifest (the tests' staged ones too): keep this one's list.
	cp $(BUILD)/install_manifest.txt $(BUILD)/installed_files.txt

uninstall:
	@[ -f $(BUILD)/installed_files.txt ] || { echo "nothing installed from $(BUILD)"; exit 1; }
	xargs -d '\n' $(PREFIX_SUDO) rm -f < $(BUILD)/installed_files.txt
	rm $(BUILD)/installed_files.txt

deb: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/pelmor_*.deb

# Benchmarks against curl, wget, wget2, aria2c, montage and vipsthumbnail (installed here, not needed by the tests).
bench: build
	@for p in wget wget2 aria2 imagemagick libvips-tools; do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' \
	  || { $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y wget wget2 aria2 imagemagick libvips-tools; break; }; done
	$(BUILD)/bin/bench_addjob
	$(BUILD)/bin/bench_list
	$(BUILD)/bin/bench_import
	bench/http_get.sh $(BUILD)/bin/bench_http_get
	bench/batch_peers.sh $(BUILD)/bin/pelmor
	bench/tls_peers.sh $(BUILD)/bin/pelmor
	bench/split_peers.sh $(BUILD)/bin/pelmor
	bench/keepalive_peers.sh $(BUILD)/bin/pelmor
	bench/catalogue_peers.sh $(BUILD)/bin/bench_catalogue

# The suite under ThreadSanitizer, in a build folder of its own. Tests that start nginx (CTest label
# nginx) are left out: Qt starts child processes in a way the sanitizer does not follow, and reports
# nonsense after.
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMOR_SANITIZER=thread $(LAUNCHER)
	cmake --build build-tsan
	cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1" \
	  ctest --output-on-failure --timeout $(CTEST_TIMEOUT) -LE nginx

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, nginx tests included: any
# report ends the test that caused it, a leak included.
asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMOR_SANITIZER=address,undefined $(LAUNCHER)
	cmake --build build-asan
	cd build-asan && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS="halt_on_error=1 detect_stack_use_after_return=1 strict_string_checks=1" \
	  UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1" \
	  ctest --output-on-failure --timeout $(CTEST_TIMEOUT)

# libFuzzer targets built with clang in build-fuzz, each run for FUZZ_SECONDS from the seeds in
# tests/fuzz/corpus; new inputs go to build-fuzz/corpus, findings to build-fuzz/findings.
FUZZERS := http http_answer smtp joblist ini history cookies urlutil jconvert htmlparser regexp links dib rotate avif jxl pel
# Qt's event machinery keeps allocations from one request to the next, which makes libFuzzer scan for
# leaks after every input of the client's target (six times slower); make asan checks its leaks.
FUZZ_OPTIONS_http := -detect_leaks=0
# URLs may be tens of kilobytes long: the naming rules must stay linear on them, and a slow input is a finding.
FUZZ_OPTIONS_urlutil := -max_len=262144 -timeout=10
# libjxl reports every broken stream on stderr; closing it keeps the fuzzer's own output readable.
FUZZ_OPTIONS_jxl := -close_fd_mask=2
fuzz: $(addprefix fuzz-,$(FUZZERS))

fuzz-build: deps
	@dpkg-query -W -f='$${Status}' clang 2>/dev/null | grep -q 'install ok installed' \
	  || { $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends clang; }
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMOR_FUZZ=ON $(LAUNCHER)
	cmake --build build-fuzz --target fuzzers

# One after the other: each target takes a core of its own.
fuzz-%: fuzz-build
	@mkdir -p build-fuzz/corpus/$* build-fuzz/findings
	UBSAN_OPTIONS=print_stacktrace=1 build-fuzz/bin/fuzz_$* $(FUZZ_OPTIONS_$*) -max_total_time=$(FUZZ_SECONDS) \
	  -print_final_stats=1 -artifact_prefix=build-fuzz/findings/$*- build-fuzz/corpus/$* tests/fuzz/corpus/$*

clean:
	rm -rf $(BUILD) build-tsan build-asan build-fuzz
