.PHONY: run test dist deps clean

# Installs what is missing, builds, and starts the Linux recorder.
run:
	scripts/run

# Installs what is missing, then builds and tests both targets.
test:
	scripts/test

# Installs what is missing, builds both targets and packs them for users:
# dist/vornby-<version>-windows-x64.zip and dist/vornby_<version>_amd64.deb.
dist:
	scripts/dist

deps:
	scripts/deps

clean:
	rm -rf build dist
