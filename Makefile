# make run: install what the program needs, build it, start it.
# make test: the same install and build, then every test through CTest.

PACKAGES := build-essential cmake ninja-build qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins \
            libgtest-dev libgmock-dev nginx-light curl fonts-noto-cjk
BUILD    ?= build
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
CTEST_TIMEOUT ?= 300

.PHONY: all deps build run test tsan bench clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)

run: build
	$(BUILD)/bin/pelmor

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout $(CTEST_TIMEOUT)

# Benchmarks against curl, wget and aria2c (installed here, not needed by the tests).
bench: build
	@for p in wget aria2; do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' \
	  || { $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y wget aria2; break; }; done
	$(BUILD)/bin/bench_addjob
	$(BUILD)/bin/bench_list
	bench/http_get.sh $(BUILD)/bin/bench_http_get
	bench/batch_peers.sh $(BUILD)/bin/pelmor

# The suite under ThreadSanitizer, in a build folder of its own. Tests that start nginx are left
# out: Qt starts child processes in a way the sanitizer does not follow, and reports nonsense after.
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMOR_SANITIZER=thread
	cmake --build build-tsan
	cd build-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1" \
	  ctest --output-on-failure --timeout $(CTEST_TIMEOUT) -E Nginx

clean:
	rm -rf $(BUILD) build-tsan
