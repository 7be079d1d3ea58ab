// etal in review, as git, patch, GitHub, GitLab and scripts read it. For each
// .bib given, and for made-up files of the bytes that break diffs (CR line
// ends, a last line without a line feed, Latin-1), at three rules:
//  - --diff applied by `git apply`, and by `patch -p1`, to a copy gives the
//    bytes of -i; a file that -i leaves as it is gets no diff at all;
//  - --check --format=json is a JSON object a line, holding the findings of
//    the text lines in their order; gitlab is one JSON array of Code Quality
//    issues; github is a workflow command a line, naming the same lines.
// usage: node review_test.mjs ETAL [BIB]...; without BIB, the examples, the
// real entries of tests/data and, where it is beside this checkout, the
// shared corpus. Exits 77 (skipped) without git or patch.
import { spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const [etal, ...named] = process.argv.slice(2).map((arg) => resolve(arg));
const source = dirname(dirname(fileURLToPath(import.meta.url)));
const bibs_in = (folder) => existsSync(folder)
  ? readdirSync(folder).filter((name) => name.endsWith('.bib')).sort().map((name) => join(folder, name)) : [];
const given = named.length > 0 ? named : [join(source, 'examples', 'refs.bib'), ...bibs_in(join(source, 'tests', 'data')),
  ...bibs_in(join(source, '..', 'shared', 'corpus'))];
for (const tool of ['git', 'patch']) {
  if (spawnSync(tool, ['--version']).status !== 0) {
    console.log(`${tool} not found: skipped`);
    process.exit(77);
  }
}
const work = mkdtempSync(join(tmpdir(), 'etal-review-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

// Files of the bytes a diff must carry through.
const made = {
  'crlf.bib': '@a{K,\r\n author = {A and B and C and D},\r\n}\r\n@b{L, author = {E and\r\n F and G}}',
  'latin1.bib': Buffer.from('@a{M\xfcller2020,\n author = {A and B and C},\n}\n1\n2\n3\n4\n5\n6\n7\n' +
    '@b{M, author = {A and\n  B and\n  et al.}}\n8\n9\n10\n11\n12\n13\n14\nauthor = {Q and R and S}\n16', 'latin1'),
  'same.bib': '@a{K, author = {A}}\n',
};
const files = [...given];
for (const [name, bytes] of Object.entries(made)) {
  writeFileSync(join(work, name), bytes);
  files.push(join(work, name));
}

let failures = 0;
let checked = 0;
const fail = (message) => {
  console.log(`FAIL: ${message}`);
  ++failures;
};
const run = (command, args, cwd) => spawnSync(command, args, { cwd, maxBuffer: 1 << 30 });

for (const file of files) {
  for (const rule of [['1'], ['3'], ['-k', '1', '--fields=author,editor', '6']]) {
    const what = `${basename(file)} at ${rule.join(' ')}`;
    const dir = join(work, 'round');
    rmSync(dir, { recursive: true, force: true });
    for (const side of ['git', 'patch', 'in-place'])
      mkdirSync(join(dir, side), { recursive: true });
    for (const side of ['git', 'patch', 'in-place'])
      copyFileSync(file, join(dir, side, 'refs.bib'));
    const diff = run(etal, ['--diff', ...rule, 'refs.bib'], join(dir, 'git'));
    const in_place = run(etal, ['-i', ...rule, 'refs.bib'], join(dir, 'in-place'));
    const wanted = readFileSync(join(dir, 'in-place', 'refs.bib'));
    const changes = !wanted.equals(readFileSync(file));
    if (in_place.status !== 0 || diff.status !== (changes ? 1 : 0) || (!changes && diff.stdout.length > 0)) {
      fail(`${what}: --diff exited ${diff.status} with ${diff.stdout.length} bytes, -i changed ${changes}`);
      continue;
    }
    if (changes) {
      writeFileSync(join(dir, 'refs.patch'), diff.stdout);
      const git = run('git', ['apply', '--unsafe-paths', join(dir, 'refs.patch')], join(dir, 'git'));
      const patch = run('patch', ['-s', '-p1', '-i', join(dir, 'refs.patch')], join(dir, 'patch'));
      for (const [side, applied] of [['git', git], ['patch', patch]]) {
        if (applied.status !== 0 || !readFileSync(join(dir, side, 'refs.bib')).equals(wanted))
          fail(`${what}: the diff applied by ${side} gives other bytes than -i: ${applied.stderr}`);
      }
    }
    // The findings in each format, against the text lines.
    const check = (format) => run(etal, ['--check', `--format=${format}`, ...rule, file]);
    const text = check('text');
    const lines = text.stdout.toString('latin1').split('\n').filter(Boolean);
    const notes = text.stderr.toString('latin1').split('\n').filter(Boolean);
    const json = check('json');
    let objects = [];
    try {
      objects = json.stdout.toString('utf8').split('\n').filter(Boolean).map((line) => JSON.parse(line));
    } catch (error) {
      fail(`${what}: --format=json is not a JSON object a line: ${error}`);
    }
    // Each object says what its text line says: the line, the key (as
    // bytes: JSON reads a Latin-1 byte as its character) and the field.
    const listed = objects.filter((o) => o.found !== 'note');
    const says = (line, o) => ['utf8', 'latin1'].some((encoding) =>
      line.includes(`:${o.line}: ${Buffer.from(o.key, encoding).toString('latin1')}: ${o.field}`));
    if (listed.length !== lines.length || objects.length - listed.length !== notes.length ||
        listed.some((o, i) => !says(lines[i], o)) || text.status !== json.status)
      fail(`${what}: json holds ${listed.length} findings and ${objects.length - listed.length} notes, the text ` +
        `${lines.length} and ${notes.length}`);
    for (const o of objects) {
      const ok = typeof o.file === 'string' && Number.isInteger(o.line) && typeof o.key === 'string' &&
        typeof o.field === 'string' && Number.isInteger(o.names) && Number.isInteger(o.count) &&
        ['cut', 'mended', 'note'].includes(o.found) && (o.found === 'cut' || typeof o.name === 'string') &&
        (o.found !== 'mended' || typeof o.now === 'string');
      if (!ok)
        fail(`${what}: a json finding lacks its fields: ${JSON.stringify(o)}`);
    }
    const gitlab = check('gitlab');
    try {
      const issues = JSON.parse(gitlab.stdout.toString('utf8'));
      const fingerprints = new Set(issues.map((issue) => issue.fingerprint));
      if (!Array.isArray(issues) || issues.length !== objects.length || fingerprints.size !== issues.length ||
          issues.some((issue, i) => typeof issue.description !== 'string' || issue.check_name !== 'etal' ||
            !/^[0-9a-f]{32}$/.test(issue.fingerprint) || !['minor', 'info'].includes(issue.severity) ||
            issue.location.path !== objects[i].file || issue.location.lines.begin !== objects[i].line))
        fail(`${what}: --format=gitlab is not the Code Quality report of the json findings`);
    } catch (error) {
      fail(`${what}: --format=gitlab is not one JSON array: ${error}`);
    }
    const github = check('github').stdout.toString('latin1').split('\n').filter(Boolean);
    const command = /^::(warning|notice) file=([^,]*),line=(\d+),title=etal::(.*)$/;
    if (github.length !== objects.length ||
        github.some((line, i) => !command.test(line) || Number(line.match(command)[3]) !== objects[i].line ||
          (line.match(command)[1] === 'notice') !== (objects[i].found === 'note')))
      fail(`${what}: --format=github does not name the lines json does`);
    ++checked;
  }
}
console.log(`${checked} files and rules: --diff applied by git and by patch gives -i's bytes, and the formats tell ` +
  'of the same lists');
process.exit(failures > 0 ? 1 : 0);
