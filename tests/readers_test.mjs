// What the readers of a .bib print for a list that etal cut: BibTeX with
// every style TeX Live installs (gbt7714's with an entry in Chinese too) and
// with the styles of the venues' kits in ../shared/venues where that folder
// is beside the checkout, biber with biblatex's styles, pandoc with the CSL
// styles of tests/data/csl, and typst with its own. Lists cut to 1, 3, 6, 7,
// 10 and 20 names are each read twice, once ending in etal's `others` and
// once in a made-up person, so that what a style prints for `others` is
// told by comparison: the text where the two differ holds "others" (the
// style prints it as a person), or its own word for the rest ("et al.",
// "u. a.", "и др.", 等). The guide's tables under "Which readers print "et
// al."" must say what is found here, at each length.
// BibTeX's verdicts are compared with a record of the styles measured,
// bibtex-styles.tsv beside CSL_DIR: a recorded style whose verdict changes,
// or one the table names that is missing, fails; a style TeX Live has and
// the record has not (a fuller TeX Live than CI's) is only named.
// usage: node readers_test.mjs ETAL GUIDE CSL_DIR [--table | --record]; with
// --table it prints what it found as the tables' rows, with --record it
// writes the record anew. Exits 77 (skipped) where no reader is installed.
// Run from the source folder, where its npm packages are (tests/node_test.sh).
import { spawn, spawnSync } from 'node:child_process';
import { cpus, tmpdir } from 'node:os';
import { copyFileSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync, existsSync } from 'node:fs';
import { basename, join, resolve } from 'node:path';

const [etal, readme, csl_dir] = process.argv.slice(2).map((arg) => resolve(arg));
const print_table = process.argv.includes('--table');
const write_record = process.argv.includes('--record');
const record_file = join(csl_dir, '..', 'bibtex-styles.tsv');
// "STYLE<TAB>VERDICT<TAB>..." a line, a verdict a length, after a line
// that names the lengths.
const record = new Map(existsSync(record_file)
  ? readFileSync(record_file, 'utf8').split('\n').filter((line) => line !== '')
    .map((line) => line.split('\t')).map(([style, ...each]) => [style, each])
  : []);
const work = mkdtempSync(join(tmpdir(), 'etal-readers-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));
const have = (command) => spawnSync('sh', ['-c', `command -v ${command}`]).status === 0;

// The lengths measured: the names a cut list keeps before `others`. A style
// may print `others` as a name at some only (apacite from seven), or cut a
// long list itself.
const lengths = [1, 3, 6, 7, 10, 20];
const people = ['Okafor, Adaeze', 'Lindqvist, Erik', 'Tanaka, Hiro', 'Moreau, Claire', 'Silva, Jo', 'Ibrahim, Yusuf',
  'Novak, Petra', 'Haddad, Rami', 'Kowalski, Ewa', 'Mensah, Kofi', 'Duarte, Ines', 'Fischer, Lena', 'Nakamura, Ren',
  'Olsen, Sigrid', 'Petrov, Ivan', 'Quispe, Rosa', 'Rahman, Nadia', 'Schmidt, Tomas', 'Takahashi, Yui', 'Umar, Bello',
  'Varga, Zsofia', 'Weber, Anton'];
// A thesis's entry in Chinese, for gbt7714, which prints its `others` as 等.
const chinese_people = ['史宏志', '赵健', '雷丽巧', '曹健渭', '卢荣胜', '王海燕', '李明', '张卫东', '刘洋', '陈静',
  '杨帆', '黄志强', '周丽', '吴昊', '徐晨', '孙悦', '胡斌', '朱琳', '高原', '林涛', '何平', '郭峰'];
const entry = (key, author, year = 2020, title = 'Reading long lists', journal = 'Journal of Tests') => `@article{${key},
  author = {${author}},
  title = {${title}},
  journal = {${journal}},
  year = {${year}},
  volume = {12},
  number = {3},
  pages = {45--67},
  keywords = {${key}},
}
`;
const chinese_entry = (key, author) => entry(key, author, 2020, '长作者表的读法', '测试学报');
// A list of `keep` + 2 of `names`, as etal cuts it to `keep` and `others`.
function cut_by_etal(keep, names) {
  writeFileSync(join(work, 'long.bib'), entry('k', names.slice(0, keep + 2).join(' and ')));
  const run = spawnSync(etal, ['-k', `${keep}`, `${keep}`, join(work, 'long.bib'), join(work, 'short.bib')]);
  const cut = readFileSync(join(work, 'short.bib'), 'utf8').match(/author = \{(.*)\},/)[1];
  if (run.status !== 0 || !/ and others $/.test(cut))
    throw new Error(`etal -k ${keep} ${keep} did not cut the list: ${cut}`);
  return cut.trim();
}
// Each length's list ending in `others`, and the same ending in a person.
const variants_of = (names, person) => {
  const others = lengths.map((keep) => cut_by_etal(keep, names));
  return { others, person: others.map((list) => list.replace(/others$/, person)) };
};
const variants = variants_of(people, 'Zeller, Quirin');
const chinese_variants = variants_of(chinese_people, '钱启明');

// Runs `command` in `dir`, with `inputs` before the folders TeX finds its
// files in: resolves to its status (null when killed after a minute) and
// output, never rejects.
function run(command, args, dir, input, inputs, more_env = {}) {
  const env = { ...process.env, ...more_env, ...(inputs === undefined ? {} : { BSTINPUTS: `${inputs}:`, TEXINPUTS: `${inputs}:` }) };
  return new Promise((resolve) => {
    const child = spawn(command, args,
      { cwd: dir, env, stdio: [input === undefined ? 'ignore' : 'pipe', 'pipe', 'pipe'], timeout: 60000 });
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

// The verdict on what a style printed of a list ending in `others` and of
// the same ending in a person (null: it did not run): 'person', 'et al.'
// with the word it prints, or 'no run'.
function verdict(others, person_text) {
  if (others === null || person_text === null || !/okafor|史宏志/i.test(others))
    return { verdict: 'no run' };
  const printed = in_place_of_the_person(others, person_text);
  // `others` as a word of the text, not within a command's name (\BOthers)
  if (/(^|[^\\\p{L}])others(?!\p{L})/iu.test(printed))
    return { verdict: 'person', word: printed };
  // A style that cuts both lists alike, counting the names it leaves out
  // ("and 2 others"), counts `others` among them.
  const counted = others.match(/\band \d+ others\b/);
  if (counted && person_text.includes(counted[0]))
    return { verdict: 'person', word: counted[0] };
  // One that prints it as an empty name before its own "et al." (", , et al.").
  if (/,\s*,/.test(others) && !/,\s*,/.test(person_text))
    return { verdict: 'person', word: 'an empty name' };
  // Where both read alike, the style cut the list itself.
  return { verdict: 'et al.', word: printed === '' ? '(its own cut)' : printed };
}
// A style's verdict at each length, from its texts of each variant.
const verdicts_of = (texts) => lengths.map((_, i) => verdict(texts.others[i], texts.person[i]));

// What a style's verdicts come to: 'person' where it prints `others` as a
// name at any length, 'no run' where it runs at none, else 'et al.' (amsrefs
// stops at a list of twenty-one names).
function summary(each) {
  if (each.some((v) => v.verdict === 'person'))
    return 'person';
  return each.every((v) => v.verdict === 'no run') ? 'no run' : 'et al.';
}
// Where a style prints `others` as a name, in the docs' words: "at every
// length", "with 1 name kept", "from 7 names kept", "up to 3 names kept".
function where_as_a_name(each) {
  const at = lengths.filter((_, i) => each[i].verdict === 'person');
  const from = lengths.indexOf(at[0]);
  const run_on = at.every((length, i) => length === lengths[from + i]);
  if (at.length === 0)
    return 'never';
  if (at.length === lengths.length)
    return 'at every length';
  const kept = (n) => `${n} name${n === 1 ? '' : 's'} kept`;
  if (run_on && from === 0)
    return at.length === 1 ? `with ${kept(at[0])}` : `up to ${kept(at[at.length - 1])}`;
  if (run_on && from + at.length === lengths.length)
    return `from ${kept(at[0])}`;
  return `at ${at.join(', ')} names kept`;
}

// --- BibTeX, with every .bst of TeX Live -----------------------------------

// TeX Live's styles, { id, style, file } each, `file` the .bst's path.
function bst_styles() {
  const dist = spawnSync('kpsewhich', ['-var-value', 'TEXMFDIST']).stdout.toString().trim();
  const found = spawnSync('find', [join(dist, 'bibtex/bst'), '-name', '*.bst']).stdout.toString().trim();
  return found.split('\n').filter(Boolean).map((file) => ({ id: basename(file, '.bst'), style: basename(file, '.bst'), file }))
    .sort((a, b) => (a.id < b.id ? -1 : 1));
}

// The .bbl of the style `file` for `bib`: its text, or null where BibTeX
// stops at an error or writes no name. Named by its path, the style needs
// no search, and BibTeX starts nine times faster without TeX's file
// database (TEXMFDBS), which it would read at each start.
async function bbl(file, bib) {
  const dir = scratch();
  writeFileSync(join(dir, 'refs.bib'), bib);
  writeFileSync(join(dir, 'doc.aux'), `\\relax\n\\citation{*}\n\\bibstyle{${file.replace(/\.bst$/, '')}}\n\\bibdata{refs}\n`);
  const got = await run('bibtex', ['-terse', 'doc'], dir, undefined, undefined, { TEXMFDBS: dir });
  const text = existsSync(join(dir, 'doc.bbl')) ? readFileSync(join(dir, 'doc.bbl'), 'utf8') : '';
  return got.status >= 0 && got.status < 2 && /Okafor|史宏志/.test(text) ? plain(text) : null;
}

// What LaTeX prints of the list `list` with `style`, cited and listed, built
// as a user builds it (pdflatex, bibtex, pdflatex twice): with the style's
// own package where there is one, the package its .bbl calls for, natbib,
// or none, whichever builds first; null where none does.
async function typeset(style, bib, bbl_text, inputs) {
  const called_for = [[/\\bib\{/, 'amsrefs'], [/APACref/, 'apacite'], [/\\jbbibargs/, 'jurabib'], [/mcite/, 'achemso'],
    [/\\harvarditem/, 'harvard'], [/\\authorindexentries/, 'authorindex']]
    .filter(([used]) => used.test(bbl_text)).map(([, name]) => name);
  const tries = [[style], called_for, ['natbib'], []].filter((packages) => packages.every(have_package));
  for (const packages of tries) {
    const dir = scratch();
    writeFileSync(join(dir, 'refs.bib'), bib);
    // Springer Nature's and PNAS's styles call commands that their classes
    // define.
    writeFileSync(join(dir, 'doc.tex'), `\\documentclass{article}\\providecommand{\\bibcommenthead}{}
\\providecommand{\\JournalTitle}[1]{#1}
${packages.map((p) => `\\usepackage{${p}}`).join('')}
\\begin{document}\\cite{k}\\bibliographystyle{${style}}\\bibliography{refs}\\end{document}\n`);
    const latex = () => run('pdflatex', ['-interaction=nonstopmode', 'doc'], dir, undefined, inputs);
    await latex();
    const built = (await run('bibtex', ['-terse', 'doc'], dir, undefined, inputs)).status < 2 &&
      (await latex(), (await latex()).status === 0);
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

// The verdicts at each length of BibTeX `styles` ({ id, style, inputs }
// each) for the lists of `variants`, written as `make_entry` writes them.
async function bibtex_verdicts(styles, lists = variants, make_entry = entry) {
  const texts = await all(styles.flatMap(({ id, file }) => Object.entries(lists).flatMap(([variant, each]) =>
    each.map((list, i) => async () => ({ id, variant, i, text: await bbl(file, make_entry('k', list)) })))));
  const by_style = new Map(styles.map(({ id }) => [id, { others: [], person: [] }]));
  for (const t of texts)
    by_style.get(t.id)[t.variant][t.i] = t.text;
  const verdicts = new Map([...by_style].map(([id, got]) => [id, verdicts_of(got)]));
  // In the .bbl, `others` may be a sorting key or an argument that another
  // command turns into "et al.", and a citation may print it where the list
  // does not: what LaTeX prints decides, at the lengths where the .bbl shows
  // `others`.
  const confirm = styles.filter(({ id }) => summary(verdicts.get(id)) === 'person').map((style) =>
    ({ ...style, at: lengths.map((_, i) => i).filter((i) => verdicts.get(style.id)[i].verdict === 'person') }));
  const found = new Map();  // "ID I": the verdict on what LaTeX printed at length I
  const typeset_at = async (jobs) => {
    const printed = await all(jobs.flatMap(({ id, style, inputs, i }) => Object.keys(lists).map((variant) => () =>
      typeset(style, make_entry('k', lists[variant][i]), by_style.get(id)[variant][i], inputs))));
    jobs.forEach(({ id, i }, n) => found.set(`${id} ${i}`, verdict(printed[2 * n], printed[2 * n + 1])));
  };
  // The first and the last length where the .bbl shows it; where those read
  // alike, so do the lengths between, and each is typeset where they do not
  // (a style that cuts the longest list itself).
  await typeset_at(confirm.flatMap((style) => [...new Set([style.at[0], style.at.at(-1)])].map((i) => ({ ...style, i }))));
  const alike = ({ id, at }) => found.get(`${id} ${at[0]}`).verdict === found.get(`${id} ${at.at(-1)}`).verdict;
  await typeset_at(confirm.filter((style) => !alike(style)).flatMap((style) =>
    style.at.slice(1, -1).map((i) => ({ ...style, i }))));
  for (const { id, at } of confirm)
    verdicts.set(id, verdicts.get(id).map((v, i) =>
      (v.verdict !== 'person' ? v : found.get(`${id} ${i}`) ?? found.get(`${id} ${at[0]}`))));
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
  // Keys that print alike, for the styles that print them, and a year each,
  // so that no two entries share a label that a letter would tell apart.
  const key = (variant, i) => `${variant === 'others' ? 'a' : 'b'}${i}`;
  for (const [variant, each] of Object.entries(variants)) {
    each.forEach((list, i) => {
      keys.push(key(variant, i));
      bib += entry(key(variant, i), list, 2001 + 2 * i + (variant === 'others' ? 0 : 1));
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
  return { others: lengths.map((_, i) => part(key('others', i))), person: lengths.map((_, i) => part(key('person', i))) };
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
    verdicts.set(style, verdicts_of(texts));
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
const tex_live = version_of('tex', ['--version'], /TeX Live (\d+)/);
const readers = [];
const skipped = [];
const tex_styles = have('kpsewhich') ? bst_styles() : [];
if (have('bibtex') && have('kpsewhich') && have('pdflatex') && have('pdftotext'))
  readers.push(['BibTeX', tex_live, () => bibtex_verdicts(tex_styles)]);
else
  skipped.push('BibTeX (bibtex, pdflatex, pdftotext)');
const chinese_styles = tex_styles.filter(({ style }) => style.startsWith('gbt7714'));
if (chinese_styles.length > 0 && have('bibtex'))
  readers.push(['BibTeX, an entry in Chinese', tex_live, () =>
    bibtex_verdicts(chinese_styles, chinese_variants, chinese_entry)]);
else
  skipped.push('gbt7714 (texlive-bibtex-extra)');
// The venues' kits, where their folder is beside the checkout; they are
// compared with the guide's table of the kits.
const venues = resolve('../shared/venues');
const kit_styles = existsSync(venues) ? readdirSync(venues).sort().flatMap((kit) =>
  (statSync(join(venues, kit)).isDirectory() ? readdirSync(join(venues, kit)) : [])
    .filter((file) => file.endsWith('.bst')).sort()
    .map((file) => ({ id: `${kit}/${file}`, style: basename(file, '.bst'), inputs: join(venues, kit), file: join(venues, kit, file) }))) : [];
if (kit_styles.length > 0 && have('bibtex') && have('pdflatex') && have('pdftotext'))
  readers.push(['the venues\' kits', tex_live, () => bibtex_verdicts(kit_styles)]);
else
  console.log(`the venues' kits (${venues}) not found: skipped`);
if (have('biber') && have('pdflatex') && have('pdftotext') && spawnSync('kpsewhich', ['biblatex.sty']).status === 0)
  readers.push(['biblatex and biber', version_of('biber', ['--version'], /version: ([\d.]+)/), async () => {
    const texts = await all(biblatex_styles.map((style) => () => biblatex_texts(style)));
    return new Map(biblatex_styles.map((style, i) => [style, verdicts_of(texts[i])]));
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
    return new Map([...verdicts].map(([style, got]) => [style, verdicts_of(got)]));
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

// The guide's tables: the readers' (a reader a row, then its cells, each
// the styles named in it in backticks, the numbers it gives, and where a
// style prints `others` as a name when that is not at every length), and
// the kits' (a row for each of a kit's .bst files, the folder in backticks
// in the first cell, the files in the second, and where they print `others`
// as a name, the third cell's first words).
const phrase = /^(never|at every length|does not run|with 1 name kept|(?:up to|from) \d+ names kept|at [\d, ]+ names kept)/;
function guide_tables() {
  const text = readFileSync(readme, 'utf8');
  const section = text.split(/^## Which readers print "et al\."$/m)[1]?.split(/^## /m)[0] ?? '';
  const rows = new Map();
  const kits = new Map();
  let table = null;
  for (const line of section.split('\n')) {
    if (!line.startsWith('|')) {
      table = null;
      continue;
    }
    const cells = line.split(' | ').map((cell) => cell.replace(/^\| |\s*\|$/g, ''));
    if (table === null)
      table = cells[0];
    if (table === cells[0] || /^\|[-|: ]+$/.test(line))
      continue;
    const names = (cell) => [...cell.matchAll(/`([^`]+)`/g)].map((m) => m[1]);
    if (table === 'venue') {
      const kit = names(cells[0]).pop();
      for (const file of names(cells[1]))
        kits.set(`${kit}/${file}`, cells[2].match(phrase)?.[1] ?? cells[2]);
      continue;
    }
    const lengths_said = new Map();
    rows.set(cells[0].replace(/\*\*/g, ''), cells.slice(1).map((cell) => {
      for (const m of cell.matchAll(/`([^`]+)` \(((?:with|up to|from|at) [^)]*kept)\)/g))
        lengths_said.set(m[1], m[2]);
      const counted = cell.replace(/\((?:with|up to|from|at) [^)]*kept\)/g, '').replace(/`[^`]*`/g, '');
      return {
        names: names(cell).filter((n) => /^[\p{L}\d][\p{L}\d_+-]*$/u.test(n)).sort(),
        numbers: [...counted.matchAll(/\d+/g)].map((m) => Number(m[0])),
        lengths: lengths_said,
      };
    }));
  }
  const no_run = section.match(/^The BibTeX styles that do not run[^:]*: (.*)$/m)?.[1] ?? '';
  const versions = section.match(/^Measured with ([\s\S]*?)\n\n/m)?.[1].replace(/\s+/g, ' ') ?? '';
  return { rows, kits, no_run: [...no_run.matchAll(/`([^`]+)`/g)].map((m) => m[1]).sort(), versions };
}

let failures = 0;
const fail = (message) => {
  console.log(`FAIL: ${message}`);
  ++failures;
};
const same = (a, b) => a.length === b.length && a.every((x, i) => x === b[i]);
const { rows, kits, no_run, versions } = guide_tables();
// The version the guide names for each reader, after its name there.
const said_version = { BibTeX: /TeX Live (\d+)/, 'biblatex and biber': /biber ([\d.]+)/,
  'pandoc --citeproc': /pandoc ([\d.]+)/, typst: /typst ([\d.]+)/ };
said_version['BibTeX, an entry in Chinese'] = said_version["the venues' kits"] = said_version.BibTeX;
const header = `style\t${lengths.join('\t')}`;

// Whether etal --run, at each length, names each style where it prints
// others as a name there, and no other.
async function check_run_word(reader, styles, verdicts) {
  // The style beside the .aux, where etal looks first: no kpsewhich to start.
  const jobs = styles.flatMap(({ id, style, file }) => lengths.map((keep, i) => async () => {
    const dir = scratch();
    writeFileSync(join(dir, 'doc.aux'), `\\bibstyle{${style}}\n`);
    if (file !== undefined)
      copyFileSync(file, join(dir, `${style}.bst`));
    const told = (await run(etal, ['-k', `${keep}`, `${keep}`, '--run', 'true', 'doc'], dir)).output;
    const named = told.includes(`the style ${style} prints "others" as a name`);
    if (named !== (verdicts.get(id)[i].verdict === 'person'))
      return `${id} at ${keep}: ${named ? 'named' : 'not named'}`;
    return null;
  }));
  const wrong = (await all(jobs)).filter(Boolean);
  if (wrong.length > 0)
    fail(`${reader}: etal --run is wrong on ${wrong.join('; ')}`);
}

for (const [reader, version, find] of readers) {
  const started = Date.now();
  let verdicts = await find();
  if (reader === 'BibTeX' && write_record) {
    writeFileSync(record_file, `# ${header}\n` + [...verdicts].sort(([a], [b]) => (a < b ? -1 : 1))
      .map(([style, each]) => `${style}\t${each.map((v) => v.verdict).join('\t')}\n`).join(''));
    console.log(`recorded ${verdicts.size} BibTeX styles in ${record_file}`);
  }
  const [here, said] = [await version(), versions.match(said_version[reader])?.[1]];
  if (reader === 'BibTeX' && !print_table && !write_record && here === said) {
    // Compared with the record alone: what a fuller TeX Live adds is named.
    const named = new Set([...(rows.get(reader) ?? []).flatMap((cell) => cell.names), ...no_run]);
    if (record.get('# style')?.join('\t') !== lengths.join('\t'))
      fail(`BibTeX: the record ${record_file} is not of the lengths ${lengths.join(', ')}: write it anew with --record`);
    record.delete('# style');
    for (const [style, was] of record) {
      const now = verdicts.get(style)?.map((v) => v.verdict);
      if (now === undefined && named.has(style))
        fail(`BibTeX: ${style}, which the guide names, is not installed`);
      else if (now === undefined)
        console.log(`  ${style} (recorded: ${was.join(', ')}) is not installed here`);
      else
        lengths.forEach((keep, i) => {
          if (now[i] !== was[i])
            fail(`BibTeX: ${style} with ${keep} names kept was recorded as ${was[i]}, is now ${now[i]}`);
        });
    }
    const unrecorded = [...verdicts.keys()].filter((style) => !record.has(style)).sort();
    if (unrecorded.length > 0)
      console.log(`  no record of ${unrecorded.length} styles, not compared: ${unrecorded.join(', ')}`);
    // The guide is compared with the record, as measured where installed.
    if (record.size > 0)
      verdicts = new Map([...record].map(([style, was]) =>
        [style, verdicts.get(style) ?? was.map((recorded) => ({ verdict: recorded }))]));
  }
  const by_summary = (wanted) => [...verdicts].filter(([, each]) => summary(each) === wanted).map(([style]) => style).sort();
  const [et_al, as_person, not_run] = ['et al.', 'person', 'no run'].map(by_summary);
  const where = (style) => {
    const at = where_as_a_name(verdicts.get(style));
    return at === 'at every length' ? style : `${style} (${at})`;
  };
  console.log(`${reader}: ${verdicts.size} styles, ${et_al.length} print "et al.", ${as_person.length} print others ` +
    `as a name, ${not_run.length} do not run here (${((Date.now() - started) / 1000).toFixed(1)} s)`);
  console.log(`  print others as a name: ${as_person.map(where).join(', ') || 'none'}`);
  if (print_table) {
    console.log(`  print "et al.": ${et_al.map((s) => '`' + s + '`').join(', ')}`);
    console.log(`  do not run: ${not_run.map((s) => '`' + s + '`').join(', ')}`);
    const words = [...new Set([...verdicts.values()].flatMap((each) => each.map((v) => v.word)).filter(Boolean))];
    console.log(`  what they print for others: ${words.slice(0, 20).join(' | ')}`);
    continue;
  }
  if (here !== said) {
    console.log(`  ${reader} ${here} is not the guide's ${said}: not compared with its table`);
    continue;
  }
  if (reader === "the venues' kits") {
    for (const { id } of kit_styles) {
      const found = summary(verdicts.get(id)) === 'no run' ? 'does not run' : where_as_a_name(verdicts.get(id));
      if (!kits.has(id))
        fail(`the guide's table of the kits has no row for ${id} (${found})`);
      else if (kits.get(id) !== found)
        fail(`the guide says ${id} prints others as a name ${kits.get(id)}, the readers ${found}`);
    }
    for (const id of kits.keys())
      if (!verdicts.has(id))
        fail(`the guide's table of the kits names ${id}, which is not among the kits`);
    await check_run_word(reader, kit_styles, verdicts);
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
      fail(`${reader}: the guide says ${JSON.stringify(cell.names)} ${what}, the readers ${JSON.stringify(found)}`);
  };
  check(said_et_al, et_al, 'print "et al."');
  check(said_person, as_person, 'print others as a name');
  for (const style of as_person) {
    const at = where_as_a_name(verdicts.get(style));
    const said_at = said_person.lengths.get(style) ?? 'at every length';
    if (said_person.names.includes(style) && at !== said_at)
      fail(`${reader}: the guide says ${style} prints others as a name ${said_at}, the readers ${at}`);
  }
  if (reader === 'BibTeX') {
    const files = new Map(tex_styles.map(({ id, file }) => [id, file]));
    await check_run_word(reader, [...verdicts.keys()].map((style) => ({ id: style, style, file: files.get(style) })), verdicts);
    if (said_et_al.numbers[1] !== verdicts.size)
      fail(`BibTeX: the guide counts ${said_et_al.numbers[1]} styles, TeX Live has ${verdicts.size}`);
    if (!same(no_run, not_run))
      fail(`BibTeX: the guide says ${JSON.stringify(no_run)} do not run, the readers ${JSON.stringify(not_run)}`);
  } else if (not_run.length > 0) {
    fail(`${reader}: ${not_run.join(', ')} did not run`);
  }
}
process.exit(failures > 0 ? 1 : 0);
