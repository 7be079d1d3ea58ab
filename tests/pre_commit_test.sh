#!/bin/sh
# The hooks of .pre-commit-hooks.yaml, run by the real pre-commit on a commit
# in a new repository: etal-check fails on a 10-name list and names the file,
# line and key; etal cuts it in place, after which etal-check passes.
# usage: pre_commit_test.sh ETAL SOURCE_DIR; exits 77 (skipped) where
# pre-commit or git is missing, or SOURCE_DIR is no git checkout.
set -u
etal=$1
source=$(cd "$2" && pwd) || exit 1
command -v pre-commit >/dev/null 2>&1 && command -v git >/dev/null 2>&1 &&
    git -C "$source" rev-parse --verify -q HEAD >/dev/null || {
    echo "pre-commit, git or a git checkout of etal missing: skipped"
    exit 77
}
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# etal as installed: on the PATH, under that name.
mkdir "$work/bin" && ln -s "$(cd "$(dirname "$etal")" && pwd)/$(basename "$etal")" "$work/bin/etal" || exit 1
PATH=$work/bin:$PATH
export PATH PRE_COMMIT_HOME="$work/cache" GIT_CONFIG_NOSYSTEM=1 HOME="$work"
git config --global user.name etal && git config --global user.email etal@etal.invalid &&
    git config --global init.defaultBranch main && git config --global --add safe.directory '*' || exit 1
mkdir "$work/paper" && cd "$work/paper" && git init -q || exit 1
names="A and B and C and D and E and F and G and H and I and J"
printf '@article{atlas2012,\n  title = {T},\n  author = {%s},\n}\n' "$names" > refs.bib
git add refs.bib
status=0

# try_hook HOOK: runs one hook of this checkout on the files staged.
try_hook() { pre-commit try-repo "$source" "$1" > "$work/$1.log" 2>&1; }

if try_hook etal-check; then
    echo "etal-check passed a 10-name list"; status=1
fi
grep -q 'refs.bib:3: atlas2012: author has 10 names, more than 6' "$work/etal-check.log" ||
    { echo "etal-check did not name the list:"; cat "$work/etal-check.log"; status=1; }
if try_hook etal; then
    echo "etal did not say that it changed refs.bib"; status=1
fi
grep -q 'author = {A and B and C and D and E and F and others },' refs.bib ||
    { echo "etal did not cut the list:"; cat refs.bib "$work/etal.log"; status=1; }
git add refs.bib
try_hook etal-check || { echo "etal-check failed after etal:"; cat "$work/etal-check.log"; status=1; }

# The guide's recipe as written, a local hook, over a file named like a year
# that pre-commit hands over first.
sed -n '/^repos:$/,/^```$/p' "$source/docs/guide.md" | grep -v '^```' > .pre-commit-config.yaml
printf '@article{y2023,\n  author = {%s},\n}\n' "$names" > 2023.bib
git add .pre-commit-config.yaml 2023.bib
if pre-commit run --all-files > "$work/local.log" 2>&1; then
    echo "the guide's local hook passed a 10-name list"; status=1
fi
grep -q '2023.bib:2: y2023: author has 10 names, more than 6' "$work/local.log" ||
    { echo "the guide's local hook did not name 2023.bib:"; cat .pre-commit-config.yaml "$work/local.log"; status=1; }
[ $status -eq 0 ] && echo "pre-commit: etal-check named refs.bib:3 (atlas2012), etal cut the list, and etal-check then passed; the guide's local hook named 2023.bib"
exit $status
