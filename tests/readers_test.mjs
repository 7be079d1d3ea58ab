// What the readers of a .bib print for a list that etal cut: BibTeX with
// every style TeX Live installs, biber with biblatex's styles, pandoc with
// the CSL styles of tests/data/csl, and typst with its own. Each list is
// read twice, once ending in etal's `others` and once in a made-up person,
// so that what a style prints for `others` is told by comparison: the text
// where the two differ holds "others" (the style prints it as a person), or
// its own word for the rest ("et al.", "u. a.", "и др."). The guide's table
// "Which readers print "et al."" must say what is found here.
// BibTeX's verdicts are compared with a record of the styles measured,
// bibtex-styles.tsv beside CSL_DIR: a recorded style whose verdict changes,
// or one the table names that is missing, fails; a style TeX Live has and
// the record has not (a fuller TeX Live than CI's) is only named.
// usage: node readers_test.mjs ETAL GUIDE CSL_DIR [--table | --record]; with
// --table it prints what it found as the table's rows, with --record it
// writes the record anew. Exits 77 (skipped) where no reader is installed. Run from the source folder, where its npm packages
// are (tests/node_test.sh).
import { spawn, spawnSync } from 'node:child_process';
import { cpus, tmpdir } from 'node:os';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync, existsSync } from 'node:fs';
import { basename, join, resolve } from 'node:path';

const [etal, readme, csl_dir] = process.argv.slice(2).map((arg) => resolve(arg));
const print_table = process.argv.includes('--table');
const write_record = process.argv.includes('--record');
const record_file = join(csl_dir, '..', 'bibtex-styles.tsv');
// "STYLE<TAB>VERDICT" a line.
const record = new Map(existsSync(record_file)
  ? readFileSync(record_file, 'utf8').split('\n').filter((line) => line !== '').map((line) => line.split('\t'))
  : []);
const work = mkdtempSync(join(tmpdir(), 'etal-readers-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));
const have = (command) => spawnSync('sh', ['-c', `command -v ${command}`]).status === 0;

// The lists, as etal cuts them: five names at 3, and three at -k 1 1, to
// three people and `others`, and to one and `others`. A style that cuts the
// longer itself still prints the shorter whole. Each with the person in
// place of `others`.
const five = 'Okafor, Adaeze and Lindqvist, Erik and Tanaka, Hiro and Moreau, Claire and Silva, Jo';
const three = 'Okafor, Adaeze and Lindqvist, Erik and Tanaka, Hiro';
const person = 'Zeller, Quirin';
const entry = (key, author) => `@article{${key},
  author = {${author}},
  title = {Reading long lists},
  journal = {Journal of Tests},
  year = {2020},
  volume = {12},
  number = {3},
  pages = {45--67},
  keywords = {${key}},
}
`;
function cut_by_etal(args, names) {
  writeFileSync(join(work, 'long.bib'), entry('k', names));
  const run = spawnSync(etal, [...args, join(work, 'long.bib'), join(work, 'short.bib')]);
  const cut = readFileSync(join(work, 'short.bib'), 'utf8').match(/author = \{(.*)\},/)[1];
  if (run.status !== 0 || !/ and others $/.test(cut))
    throw new Error(`etal ${args.join(' ')} did not cut the list: ${cut}`);
  return cut.trim();
}
const lists = [cut_by_etal(['3'], five), cut_by_etal(['-k', '1', '1'], three)];
const variants = { others: lists, person: lists.map((list) => list.replace(/others$/, person)) };

// Runs `command` in `dir`: resolves to its status (null when killed after a
// minute) and output, never rejects.
function run(command, args, dir, input) {
  return new Promise((resolve) => {
    const child = spawn(command, args,
      { cwd: dir, stdio: [input === undefined ? 'ignore' : 'pipe', 'pipe', 'pipe'], timeout: 60000 });
    let output = '';
    child.stdout.on('data', (data) => (output += data));
    child.stderr.on('data', (data) => (output += data));
    child.on('error', () => resolve({ status: -1, output }));
    child.on('close', (status) => resolve({ status, output }));
    if (input !== undefined) {
      child.stdin.on('error', () => {});  // one that ends before reading it all
      child.stdin.end(input);
    }
  });
}

// Each job of `jobs` (a function to a promise), as many at once as there
// are cores.
async function all(jobs) {
  const results = new Array(jobs.length);
  let next = 0;
  const worker = async () => {
    while (next < jobs.length) {
      const i = next++;
      results[i] = await jobs[i]();
    }
  };
  await Promise.all(Array.from({ length: cpus().length }, worker));
  return results;
}

const scratch = () => mkdtempSync(join(work, 'r-'));
// Text as read: blanks and line ends as one space, a word broken at a line
// end joined again.
const plain = (text) => text.replace(/-\n(?=\p{Ll})/gu, '').replace(/\s+/g, ' ').trim();

async function pdf_text(dir, name) {
  const got = await run('pdftotext', ['-enc', 'UTF-8', `${name}.pdf`, '-'], dir);
  return got.status === 0 ? plain(got.output) : null;
}

// What a style prints in place of the list's last name: by the text the
// `others` list and the person's have in common before and after it.
function in_place_of_the_person(others, person_text) {
  let start = 0;
  while (start < others.length && others[start] === person_text[start])
    ++start;
  let end = 0;
  while (end < others.length - start && end < person_text.length - start &&
         others[others.length - 1 - end] === person_text[person_text.length - 1 - end])
    ++end;
  return others.slice(start, others.length - end);
}

// The verdict on a style from its texts of each list and variant (null: it
// did not run): 'person', 'et al.' with the word it prints, or 'no run'.
function verdict(texts, count = lists.length) {
  let word = null;
  for (let i = 0; i < count; ++i) {
    const [others, person_text] = [texts.others[i], texts.person[i]];
    if (others === null || person_text === null || !/okafor/i.test(others))
      return { verdict: 'no run' };
    const printed = in_place_of_the_person(others, person_text);
    // `others` as a word of the text, not within a command's name (\BOthers)
    if (/(^|[^\\\p{L}])others(?!\p{L})/iu.test(printed))
      return { verdict: 'person', word: printed };
    word ??= printed === '' ? null : printed;
  }
  // Where no list reads otherwise, the style cuts them all itself.
  return { verdict: 'et al.', word: word ?? '(its own cut)' };
}

// --- BibTeX, with every .bst of TeX Live -----------------------------------

function bst_styles() {
  const dist = spawnSync('kpsewhich', ['-var-value', 'TEXMFDIST']).stdout.toString().trim();
  const found = spawnSync('find', [join(dist, 'bibtex/bst'), '-name', '*.bst']).stdout.toString().trim();
  return found.split('\n').filter(Boolean).map((path) => basename(path, '.bst')).sort();
}

// The .bbl of `style` for `bib`: its text, or null where BibTeX stops at an
// error or writes no name.
async function bbl(style, bib) {
  const dir = scratch();
  writeFileSync(join(dir, 'refs.bib'), bib);
  writeFileSync(join(dir, 'doc.aux'), `\\relax\n\\citation{*}\n\\bibstyle{${style}}\n\\bibdata{refs}\n`);
  const got = await run('bibtex', ['-terse', 'doc'], dir);
  const text = existsSync(join(dir, 'doc.bbl')) ? readFileSync(join(dir, 'doc.bbl'), 'latin1') : '';
  return got.status >= 0 && got.status < 2 && text.includes('Okafor') ? plain(text) : null;
}

// What LaTeX prints of the list `list` with `style`, built as a user builds
// it (pdflatex, bibtex, pdflatex twice): with the style's own package where
// there is one, the package its .bbl calls for, natbib, or none, whichever
// builds first; null where none does.
async function typeset(style, list, bbl_text) {
  const called_for = [[/\\bib\{/, 'amsrefs'], [/APACref/, 'apacite'], [/\\jbbibargs/, 'jurabib'], [/mcite/, 'achemso'],
    [/\\harvarditem/, 'harvard'], [/\\authorindexentries/, 'authorindex']]
    .filter(([used]) => used.test(bbl_text)).map(([, name]) => name);
  const tries = [[style], called_for, ['natbib'], []].filter((packages) => packages.every(have_package));
  for (const packages of tries) {
    const dir = scratch();
    writeFileSync(join(dir, 'refs.bib'), entry('k', list));
    writeFileSync(join(dir, 'doc.tex'), `\\documentclass{article}
${packages.map((p) => `\\usepackage{${p}}`).join('')}
\\begin{document}\\nocite{*}\\bibliographystyle{${style}}\\bibliography{refs}\\end{document}\n`);
    const latex = () => run('pdflatex', ['-interaction=nonstopmode', 'doc'], dir);
    await latex();
    const built = (await run('bibtex', ['-terse', 'doc'], dir)).status < 2 && (await latex(), (await latex()).status === 0);
    const text = built ? await pdf_text(dir, 'doc') : null;
    if (/okafor/i.test(text ?? ''))
      return text;
  }
  return null;
}
const packages_found = new Map();
function have_package(name) {
  if (!packages_found.has(name))
    packages_found.set(name, spawnSync('kpsewhich', [`${name}.sty`]).status === 0);
  return packages_found.get(name);
}

async function bibtex_verdicts() {
  const styles = bst_styles();
  const texts = await all(styles.flatMap((style) => Object.entries(variants).flatMap(([variant, each]) =>
    each.map((list, i) => async () => ({ style, variant, i, text: await bbl(style, entry('k', list)) })))));
  const by_style = new Map(styles.map((style) => [style, { others: [], person: [] }]));
  for (const t of texts)
    by_style.get(t.style)[t.variant][t.i] = t.text;
  const verdicts = new Map();
  const confirm = [];
  for (const [style, got] of by_style) {
    const found = verdict(got);
    verdicts.set(style, found);
    // In the .bbl, `others` may be a sorting key or an argument that
    // another command turns into "et al.": what LaTeX prints decides.
    if (found.verdict === 'person')
      confirm.push(style);
  }
  // The first list that showed `others`, typeset.
  const printed = await all(confirm.flatMap((style) => {
    const got = by_style.get(style);
    const i = lists.findIndex((_, n) => verdict({ others: [got.others[n]], person: [got.person[n]] }, 1).verdict === 'person');
    return Object.keys(variants).map((variant) => async () =>
      ({ style, variant, text: await typeset(style, variants[variant][i], got[variant][i]) }));
  }));
  const typeset_texts = new Map(confirm.map((style) => [style, { others: [], person: [] }]));
  for (const t of printed)
    typeset_texts.get(t.style)[t.variant][0] = t.text;
  for (const [style, got] of typeset_texts)
    verdicts.set(style, verdict(got, 1));
  return verdicts;
}

// --- biber with biblatex ---------------------------------------------------

const biblatex_styles = ['numeric', 'numeric-comp', 'numeric-verb', 'alphabetic', 'alphabetic-verb', 'authoryear',
  'authoryear-comp', 'authoryear-ibid', 'authoryear-icomp', 'authortitle', 'authortitle-comp', 'authortitle-ibid',
  'authortitle-icomp', 'authortitle-terse', 'authortitle-tcomp', 'authortitle-ticomp', 'verbose', 'verbose-ibid',
  'verbose-note', 'verbose-inote', 'verbose-trad1', 'verbose-trad2', 'verbose-trad3', 'reading', 'draft', 'apa'];

// One document a style: each list and variant an entry, printed between
// marks of its own.
async function biblatex_texts(style) {
  const dir = scratch();
  const keys = [];
  let bib = '';
  // Keys that print alike, for the styles that print them.
  const key = (variant, i) => `${variant === 'others' ? 'a' : 'b'}${i}`;
  for (const [variant, each] of Object.entries(variants)) {
    each.forEach((list, i) => {
      keys.push(key(variant, i));
      bib += entry(key(variant, i), list);
    });
  }
  writeFileSync(join(dir, 'refs.bib'), bib);
  const sections = keys.map((key) => `\\par Start${key}Mark \\printbibliography[heading=none,keyword=${key}] \\par End${key}Mark`);
  writeFileSync(join(dir, 'doc.tex'), `\\documentclass{article}\\usepackage[american]{babel}
\\usepackage{csquotes}\\usepackage[style=${style},backend=biber]{biblatex}\\addbibresource{refs.bib}
\\begin{document}\\nocite{*}${sections.join('\n')}\\end{document}\n`);
  const latex = () => run('pdflatex', ['-interaction=batchmode', '-halt-on-error', 'doc'], dir);
  const ran = (await latex()).status === 0 && (await run('biber', ['--quiet', 'doc'], dir)).status === 0 &&
    (await latex()).status === 0;
  const text = ran ? await pdf_text(dir, 'doc') : null;
  const part = (key) => text?.match(new RegExp(`Start${key}Mark(.*)End${key}Mark`))?.[1].trim() ?? null;
  return { others: lists.map((_, i) => part(key('others', i))), person: lists.map((_, i) => part(key('person', i))) };
}

// --- pandoc --citeproc with CSL styles --------------------------------------

async function pandoc_text(csl, list) {
  const dir = scratch();
  writeFileSync(join(dir, 'refs.bib'), entry('k', list));
  const got = await run('pandoc', ['-f', 'markdown', '-t', 'plain', '--wrap=none', '--citeproc', '--csl', csl,
    '--bibliography', 'refs.bib'], dir, "---\nnocite: '@*'\n---\n");
  return got.status === 0 ? plain(got.output) : null;
}

// --- typst, with its built-in styles -----------------------------------------

// As typst 0.14 names them; one that it no longer knows fails the test.
const typst_styles = ['american-anthropological-association', 'american-chemical-society',
  'american-geophysical-union', 'american-institute-of-aeronautics-and-astronautics', 'american-institute-of-physics',
  'american-medical-association', 'american-meteorological-society', 'american-physics-society',
  'american-physiological-society', 'american-political-science-association', 'american-psychological-association',
  'american-society-of-civil-engineers', 'american-society-of-mechanical-engineers', 'american-sociological-association',
  'angewandte-chemie', 'annual-reviews', 'annual-reviews-author-date', 'associacao-brasileira-de-normas-tecnicas',
  'association-for-computing-machinery', 'biomed-central', 'bristol-university-press', 'british-medical-journal', 'cell',
  'chicago-author-date', 'chicago-fullnotes', 'chicago-notes', 'chicago-shortened-notes', 'copernicus',
  'council-of-science-editors', 'council-of-science-editors-author-date', 'current-opinion',
  'deutsche-gesellschaft-für-psychologie', 'deutsche-sprache', 'elsevier-harvard', 'elsevier-vancouver',
  'elsevier-with-titles', 'frontiers', 'future-medicine', 'future-science', 'gb-7714-2005-numeric',
  'gb-7714-2015-author-date', 'gb-7714-2015-note', 'gb-7714-2015-numeric', 'gost-r-705-2008-numeric',
  'harvard-cite-them-right', 'institute-of-electrical-and-electronics-engineers', 'institute-of-physics-numeric',
  'iso-690-author-date', 'iso-690-numeric', 'karger', 'mary-ann-liebert-vancouver',
  'modern-humanities-research-association', 'modern-humanities-research-association-notes',
  'modern-language-association', 'modern-language-association-8', 'multidisciplinary-digital-publishing-institute',
  'nature', 'pensoft', 'public-library-of-science', 'royal-society-of-chemistry', 'sage-vancouver', 'sist02', 'spie',
  'springer-basic', 'springer-basic-author-date', 'springer-fachzeitschriften-medizin-psychologie',
  'springer-humanities-author-date', 'springer-lecture-notes-in-computer-science', 'springer-mathphys',
  'springer-socpsych-author-date', 'springer-vancouver', 'taylor-and-francis-chicago-author-date',
  'taylor-and-francis-national-library-of-medicine', 'the-institution-of-engineering-and-technology', 'the-lancet',
  'thieme', 'trends', 'turabian-author-date', 'turabian-fullnote-8', 'vancouver', 'vancouver-superscript'];

async function typst_compiler(dir) {
  const { NodeCompiler } = await import(typst_package);
  return NodeCompiler.create({ workspace: dir });
}

async function typst_version() {
  const compiler = await typst_compiler(scratch());
  return compiler.html({ mainFileContent: '#sys.version' }).match(/<p>([\d.]+)<\/p>/)?.[1] ?? null;
}

async function typst_verdicts() {
  const dir = scratch();
  const compiler = await typst_compiler(dir);
  const verdicts = new Map();
  for (const style of typst_styles) {
    const texts = { others: [], person: [] };
    for (const [variant, each] of Object.entries(variants)) {
      each.forEach((list, i) => {
        const bib = `${variant}${i}.bib`;
        writeFileSync(join(dir, bib), entry('k', list));
        const source = { mainFileContent: `#bibliography("${bib}", style: "${style}", full: true, title: none)` };
        const compiled = compiler.compileHtml(source);
        if (compiled.hasError())
          throw new Error(`typst does not know the style ${style}`);
        const html = compiler.html(source);
        texts[variant][i] = plain(html.replace(/<[^>]*>/g, ' ').replace(/&amp;/g, '&').replace(/&lt;/g, '<')
          .replace(/&gt;/g, '>').replace(/&quot;/g, '"').replace(/&#39;/g, "'"));
      });
    }
    verdicts.set(style, verdict(texts));
  }
  return verdicts;
}

// --- what was found, against the guide ------------------------------------

function styles_where(verdicts, wanted) {
  return [...verdicts].filter(([, found]) => found.verdict === wanted).map(([style]) => style).sort();
}

// Each reader: its name in the table, how to find its version (as the
// README's table names it), and its verdicts.
const version_of = (command, args, pattern) => () =>
  spawnSync(command, args).stdout?.toString().match(pattern)?.[1] ?? null;
const readers = [];
const skipped = [];
if (have('bibtex') && have('kpsewhich') && have('pdflatex') && have('pdftotext'))
  readers.push(['BibTeX', version_of('tex', ['--version'], /TeX Live (\d+)/), bibtex_verdicts]);
else
  skipped.push('BibTeX (bibtex, pdflatex, pdftotext)');
if (have('biber') && have('pdflatex') && have('pdftotext') && spawnSync('kpsewhich', ['biblatex.sty']).status === 0)
  readers.push(['biblatex and biber', version_of('biber', ['--version'], /version: ([\d.]+)/), async () => {
    const texts = await all(biblatex_styles.map((style) => () => biblatex_texts(style)));
    return new Map(biblatex_styles.map((style, i) => [style, verdict(texts[i])]));
  }]);
else
  skipped.push('biblatex and biber');
if (have('pandoc'))
  readers.push(['pandoc --citeproc', version_of('pandoc', ['--version'], /^pandoc ([\d.]+)/), async () => {
    const styles = readdirSync(csl_dir).filter((name) => name.endsWith('.csl')).sort();
    const texts = await all(styles.flatMap((csl) => Object.entries(variants).flatMap(([variant, each]) =>
      each.map((list, i) => async () => ({ csl, variant, i, text: await pandoc_text(join(csl_dir, csl), list) })))));
    const verdicts = new Map(styles.map((csl) => [basename(csl, '.csl'), { others: [], person: [] }]));
    for (const t of texts)
      verdicts.get(basename(t.csl, '.csl'))[t.variant][t.i] = t.text;
    return new Map([...verdicts].map(([style, got]) => [style, verdict(got)]));
  }]);
else
  skipped.push('pandoc');
const typst_package = join(process.cwd(), 'node_modules/@myriaddreamin/typst-ts-node-compiler/index.js');
if (existsSync(typst_package))
  readers.push(['typst', typst_version, typst_verdicts]);
else
  skipped.push('typst (npm ci)');
// CI installs them all: there a missing one is a failure, not a skip.
for (const reader of skipped)
  console.log(`${reader} not found: skipped`);
if (skipped.length > 0 && process.env.CI === 'true')
  process.exit(1);
if (readers.length === 0)
  process.exit(77);

// A row of the guide's table: the reader, then its cells, each the styles
// named in it in backticks and the numbers it gives.
function table_rows() {
  const text = readFileSync(readme, 'utf8');
  const section = text.split(/^## Which readers print "et al\."$/m)[1]?.split(/^## /m)[0] ?? '';
  const rows = new Map();
  for (const line of section.split('\n').filter((l) => l.startsWith('| ') && !l.startsWith('| reader'))) {
    const cells = line.split(' | ').map((cell) => cell.replace(/^\| |\s*\|$/g, ''));
    rows.set(cells[0].replace(/\*\*/g, ''), cells.slice(1).map((cell) => ({
      names: [...cell.matchAll(/`([^`]+)`/g)].map((m) => m[1]).filter((n) => /^[\p{L}\d][\p{L}\d_+-]*$/u.test(n)).sort(),
      numbers: [...cell.replace(/`[^`]*`/g, '').matchAll(/\d+/g)].map((m) => Number(m[0])),
    })));
  }
  const no_run = section.match(/^The BibTeX styles that do not run[^:]*: (.*)$/m)?.[1] ?? '';
  const versions = section.match(/^Measured with ([\s\S]*?)\n\n/m)?.[1].replace(/\s+/g, ' ') ?? '';
  return { rows, no_run: [...no_run.matchAll(/`([^`]+)`/g)].map((m) => m[1]).sort(), versions };
}

let failures = 0;
const fail = (message) => {
  console.log(`FAIL: ${message}`);
  ++failures;
};
const same = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);
const { rows, no_run, versions } = table_rows();
// The version the guide names for each reader, after its name there.
const said_version = { BibTeX: /TeX Live (\d+)/, 'biblatex and biber': /biber ([\d.]+)/,
  'pandoc --citeproc': /pandoc ([\d.]+)/, typst: /typst ([\d.]+)/ };
for (const [reader, version, find] of readers) {
  const started = Date.now();
  let verdicts = await find();
  if (reader === 'BibTeX' && write_record) {
    writeFileSync(record_file, [...verdicts].sort(([a], [b]) => (a < b ? -1 : 1))
      .map(([style, found]) => `${style}\t${found.verdict}\n`).join(''));
    console.log(`recorded ${verdicts.size} BibTeX styles in ${record_file}`);
  }
  const same_version = (await version()) === versions.match(said_version[reader])?.[1];
  if (reader === 'BibTeX' && !print_table && !write_record && same_version) {
    // Compared with the record alone: what a fuller TeX Live adds is named.
    const named = new Set([...(rows.get(reader) ?? []).flatMap((cell) => cell.names), ...no_run]);
    for (const [style, was] of record) {
      const now = verdicts.get(style)?.verdict;
      if (now === undefined && named.has(style))
        fail(`BibTeX: ${style}, which the guide names, is not installed`);
      else if (now === undefined)
        console.log(`  ${style} (recorded: ${was}) is not installed here`);
      else if (now !== was)
        fail(`BibTeX: ${style} was recorded as ${was}, is now ${now}`);
    }
    const unrecorded = [...verdicts.keys()].filter((style) => !record.has(style)).sort();
    if (unrecorded.length > 0)
      console.log(`  no record of ${unrecorded.length} styles, not compared: ${unrecorded.join(', ')}`);
    if (record.size > 0)
      verdicts = new Map([...verdicts].filter(([style]) => record.has(style)));
  }
  const [here, said] = [await version(), versions.match(said_version[reader])?.[1]];
  const et_al = styles_where(verdicts, 'et al.');
  const as_person = styles_where(verdicts, 'person');
  const not_run = styles_where(verdicts, 'no run');
  console.log(`${reader}: ${verdicts.size} styles, ${et_al.length} print "et al.", ${as_person.length} print others ` +
    `as a name, ${not_run.length} do not run here (${((Date.now() - started) / 1000).toFixed(1)} s)`);
  const some = as_person.length > 16 ? [...as_person.slice(0, 16), `and ${as_person.length - 16} more`] : as_person;
  console.log(`  print others as a name: ${some.join(', ') || 'none'}`);
  if (print_table) {
    console.log(`  print "et al.": ${et_al.map((s) => '`' + s + '`').join(', ')}`);
    console.log(`  do not run: ${not_run.map((s) => '`' + s + '`').join(', ')}`);
    continue;
  }
  if (here !== said) {
    console.log(`  ${reader} ${here} is not the guide's ${said}: not compared with its table`);
    continue;
  }
  const row = rows.get(reader);
  if (!row) {
    fail(`the guide's table has no row for ${reader}`);
    continue;
  }
  const [said_et_al, said_person] = row;
  // A cell names each style, or counts them ("N of the M") and names some.
  const check = (cell, found, what) => {
    if (cell.numbers.length === 0 ? !same(cell.names, found)
                                  : cell.numbers[0] !== found.length || cell.names.some((n) => !found.includes(n)))
      fail(`${reader}: the guide says ${JSON.stringify(cell)} ${what}, the readers ${JSON.stringify(found)}`);
  };
  check(said_et_al, et_al, 'print "et al."');
  check(said_person, as_person, 'print others as a name');
  if (reader === 'BibTeX') {
    // etal --run names each style that prints others as a name, and no other.
    const dir = scratch();
    const named = [...verdicts.keys()].filter((style) => {
      writeFileSync(join(dir, 'doc.aux'), `\\bibstyle{${style}}\n`);
      const told = spawnSync(etal, ['--run', 'true', 'doc'], { cwd: dir }).stderr.toString();
      return told.includes(`the style ${style} prints "others" as a name`);
    });
    if (!same(named, as_person))
      fail(`BibTeX: etal --run names ${JSON.stringify(named)} as printing others as a name`);
    if (said_et_al.numbers[1] !== verdicts.size)
      fail(`BibTeX: the guide counts ${said_et_al.numbers[1]} styles, TeX Live has ${verdicts.size}`);
    if (!same(no_run, not_run))
      fail(`BibTeX: the guide says ${JSON.stringify(no_run)} do not run, the readers ${JSON.stringify(not_run)}`);
  } else if (not_run.length > 0) {
    fail(`${reader}: ${not_run.join(', ')} did not run`);
  }
}
process.exit(failures > 0 ? 1 : 0);
