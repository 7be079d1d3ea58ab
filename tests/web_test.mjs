// The page as a person uses it, in Debian's Chromium driven by
// playwright-core: controls found by their labels, files chosen, results
// downloaded. Each download must hold the bytes that the native etal writes
// with the same rule, and the table of cuts what its -v tells.
//
// usage: node tests/web_test.mjs SITE ETAL SCREENSHOT [BIB]...
//   SITE: the built site folder; ETAL: the native program; SCREENSHOT: where
//   to save a picture of the page; BIB: files to shorten, besides those it
//   makes (Latin-1 with CRLF, UTF-8 with a byte order mark).
import { launch_chromium, launch_chromium_profile, origin, serve } from './page_browser.mjs';
import { spawnSync } from 'node:child_process';
import { cpSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, truncateSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';

const [built_site, etal, screenshot, ...given] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), 'etal-web-'));
// A copy is served, so that a new version of it can be published.
const site = join(work, 'site');
cpSync(built_site, site, { recursive: true });
let passed = 0;
let failed = 0;

function check(what, ok, detail = '') {
  if (ok) {
    passed++;
    console.log('ok - ' + what);
  } else {
    failed++;
    console.log('not ok - ' + what + (detail ? '\n  ' + detail : ''));
  }
}

const server = await serve(site);
const site_origin = origin(server);

// Files in two encodings that the page must never decode.
const latin1 = join(work, 'latin1-crlf.bib');
writeFileSync(latin1, Buffer.from('@article{m\xfcller,\r\n  author = {M\xfcller, J. and Ga\xebl, A. and Br\xe5ten, K. '
  + 'and Ibáñez, L. and Ngo, T. and Ode, P. and Ruiz, Q.},\r\n  title = {\xc9tude},\r\n}\r\n', 'latin1'));
const bom = join(work, 'bom.bib');
writeFileSync(bom, '\ufeff@misc{k1, author = {A and B and C and D and E and F and G and H}, title = {Ünïcode}}\n'
  + '@misc{k2,\n  editor = {E1 and\n    E2 and\n    E3 and\n    E4},\n}\n');
// Lists that end in "et al." written as a name, as Mendeley, Zotero and
// Google Scholar write them, one of them over two lines; glued to the last
// name, as Web of Science and Mendeley write it; and a name where no rule
// can tell the person apart, which gets a note.
const et_al = join(work, 'et-al.bib');
writeFileSync(et_al, '@article{rhic,\n  author = {RHIC and Alekseev, I. and Al., Et},\n}\n'
  + '@article{chipman,\n  author = {Chipman, Lindsay and Podgorski, David and {others}},\n}\n'
  + '@article{barale, author={Barale, J. and et\n    al.}, year={1975}}\n'
  + '@article{long, author={A and B and C and D and E and F and G and et al.}}\n'
  + '@article{grue, author = {J. Grue et al.}}\n'
  + '@article{ziminsky,\n  author = {Smith, Jo and Et al.,\n    Ziminsky},\n}\n'
  + '@article{fabricius, author = {H.~Voss and C. et. al.~Fabricius}}\n'
  // a list BibTeX builds from a macro, which only gets a note
  + '@string{gof = "Gamma, E. and Helm, R. and Johnson, R. and Vlissides, J. and Booch, G. and Beck, K. and Fowler, M."}\n'
  + '@book{gof95, author = gof}\n');
// A file that comes out longer than it went in: "et~al" becomes "others".
const grown = join(work, 'grown.bib');
writeFileSync(grown, '@misc{g, author = {Ng, A. and Li, B. and et~al}}\n');
// Keys and fields longer than a phone's column for them.
const long_keys = join(work, 'long-keys.bib');
writeFileSync(long_keys, '@article{averyveryveryverylongkeywithoutabreak:2024:and-more-words-of-the-key,\n'
  + '  bookauthor = {A and B and C and D and E and F and G},\n}\n'
  + '@article{rhic:2019:spin-asymmetries-of-polarized-protons, author = {RHIC and Alekseev, I. and Al., Et}}\n');
const picture = join(work, 'figure.png');
writeFileSync(picture, Buffer.concat([Buffer.from('89504e470d0a1a0a0000000d49484452', 'hex'), Buffer.alloc(200, 7)]));
const files = [latin1, bom, et_al, grown, ...given];

// What the native build writes, and tells with -v, for the same rule: the
// rows of the table, but for the names of a list mended, which -v does not
// tell; and the notes of names to fix by hand, as the page words them.
function native(file, args) {
  const out = join(work, 'native.bib');
  const run = spawnSync(etal, ['-v', ...args, file, out]);
  // "FILE:LINE: KEY: FIELD cut from N names to K", "FILE:LINE: KEY: FIELD
  // ends in "X" written as a name, now others" or "... ends in "X", "et al."
  // inside a name, now "Y"", where a key may hold ": "; or a note, "etal:
  // FILE:LINE: KEY: FIELD: "X" holds "et al.": fix it by hand" or
  // "FILE:LINE: KEY: FIELD is BUILT, N names, more than C: not cut"
  let cut = 0;
  const lines = run.stderr.toString('utf8').split('\n').filter((line) => line !== '');
  const not_cut = /^(\d+): (.*): (\S+) is (.*), (\d+) names, more than (\d+): not cut$/;
  const is_note = (line) => line.startsWith('etal: ') || not_cut.test(line.slice(file.length + 1));
  const notes = lines.filter(is_note).map((line) => {
    const built = line.slice(file.length + 1).match(not_cut);
    if (built !== null)
      return `Line ${built[1]}, ${built[2]}, ${built[3]} is ${built[4]}, ${built[5]} names, more than ${built[6]}: `
        + 'not cut; write the list out to shorten it.';
    const [, number, key, field, name] = line.slice(6 + file.length + 1)
      .match(/^(\d+): (.*): (\S+): "(.*)" holds "et al\.": fix it by hand$/);
    return `Line ${number}, ${key}, ${field}: “${name}” holds “et al.”: fix it by hand.`;
  });
  const told = lines.filter((line) => !is_note(line)).map((line) => {
    const said = line.slice(file.length + 1);
    const cut_from = said.match(/^(\d+): (.*): (\S+) cut from (\d+) names to (\d+)$/);
    if (cut_from !== null) {
      cut++;
      return [...cut_from.slice(1, 5), 'cut to ' + cut_from[5]].join('\t');
    }
    const inside = said.match(/^(\d+): (.*): (\S+) ends in "(.*)", "et al\." inside a name, now "(.*)"$/);
    if (inside !== null)
      return [...inside.slice(1, 4), '“' + inside[4] + '” → ' + inside[5]].join('\t');
    const [, number, key, field, name] = said.match(/^(\d+): (.*): (\S+) ends in "(.*)" written as a name, now others$/);
    return [number, key, field, '“' + name + '” → others'].join('\t');
  });
  return { bytes: readFileSync(out), told, notes, cut, mended: told.length - cut };
}

// What the status says of the lists cut and mended.
function status_told({ cut, mended }) {
  const lists = (n) => n.toLocaleString('en') + (n === 1 ? ' list' : ' lists');
  const done = [...(cut > 0 ? [lists(cut) + ' cut'] : []),
    ...(mended > 0 ? [(cut > 0 ? mended.toLocaleString('en') : lists(mended)) + ' mended'] : [])];
  return done.length === 0 ? 'no list is over the rule' : done.join(', ');
}

const complaints = [];
const elsewhere = [];
let module_fetches = 0;  // of etal.wasm, by the workers
// Every console error and failed request of a context's page, and every
// request that leaves the site.
function watch(context, watched) {
  watched.on('console', (message) => message.type() === 'error' && complaints.push(message.text()));
  watched.on('pageerror', (error) => complaints.push(error.message));
  context.on('request', (request) => {
    const url = request.url();
    if (!url.startsWith(site_origin + '/') && !url.startsWith('blob:') && !url.startsWith('data:'))
      elsewhere.push(url);
    if (url.endsWith('/etal.wasm'))
      module_fetches++;
  });
  // A load the browser cancels is no fault: the page cancels the loads of a
  // worker it ends, and of the workers it had started when it reloads itself
  // into a new version. (A worker's files that could not be had are
  // cancelled too: the page tells of them, and the checks above fail.)
  context.on('requestfailed', (request) => {
    const why = request.failure()?.errorText;
    if (why !== 'net::ERR_ABORTED')
      complaints.push(`failed: ${request.url()} (${why})`);
  });
}

// A browser as most people have one, for the files; then one with a profile
// of its own, which an app's service worker and installing need (and where
// Chromium starts no more than ten downloads from one page).
const browser = await launch_chromium();
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1100, height: 900 } });
await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: site_origin });
// The object URLs the page and its workers make and have not revoked, and
// so the Blobs they keep: counted as they go.
const count_urls = `self.urls_held = 0;
  const make = URL.createObjectURL, revoke = URL.revokeObjectURL;
  URL.createObjectURL = (blob) => { self.urls_held++; return make(blob); };
  URL.revokeObjectURL = (url) => { self.urls_held--; revoke(url); };`;
await context.addInitScript(count_urls);
let page = await context.newPage();
page.on('worker', (started) => started.evaluate(count_urls).catch(() => {}));
watch(context, page);
let app = null;

// Sets the rule in its boxes, as typed, and waits for the page to take it,
// after a pause, into its address.
async function set_rule(count, keep, fields) {
  await page.getByLabel('Count', { exact: true }).fill(count);
  await page.getByLabel('Keep', { exact: true }).fill(keep);
  await page.getByLabel('Fields', { exact: true }).fill(fields);
  const query = new URLSearchParams({ count, ...(keep ? { keep } : {}), fields });
  await page.waitForURL((url) => url.search === '?' + query.toString().replace(/%2C/g, ','));
}

const status = () => page.getByRole('status').first();
const download_link = () => page.getByRole('link', { name: /^Download / });

// Chooses `file`, waits for the page to be done, and downloads the result.
async function shorten(file) {
  await page.getByLabel('BibTeX file').setInputFiles(file);
  await page.waitForFunction((name) => {
    const text = document.getElementById('status').textContent;
    return text.startsWith(name + ':') && !document.getElementById('download').hidden;
  }, basename(file));
  // Headless Chromium starts no download for one click of many in a row
  // (the eleventh): a second click does.
  const download = await Promise.all([page.waitForEvent('download', { timeout: 5000 }), download_link().click()])
    .then(([started]) => started, () => Promise.all([page.waitForEvent('download'), download_link().click()])
      .then(([started]) => started));
  return { name: download.suggestedFilename(), bytes: readFileSync(await download.path()) };
}

// Whether axe-core finds nothing serious or critical in the page as it is.
async function no_serious_violation() {
  if (!(await page.evaluate(() => 'axe' in window)))
    await page.evaluate(readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8'));
  const results = await page.evaluate(() => window.axe.run({ resultTypes: ['violations'] }));
  const serious = results.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  if (serious.length > 0)
    console.log('  ' + serious.map((v) => v.id + ': ' + v.nodes.map((n) => n.target).join(', ')).join('; '));
  return serious.length === 0;
}

// The rows of the table of cuts, once it holds `count` of them.
async function table_rows(count) {
  const details = page.locator('details');
  if (!(await details.evaluate((element) => element.open)))
    await page.getByText(/^Lists cut or mended \(/).click();
  const table = page.getByRole('table', { name: 'Lists cut or mended' });
  await page.waitForFunction((n) => document.querySelectorAll('#cuts tbody tr').length === n, count);
  // Without the names of a list mended, as native() gives them.
  return table.locator('tbody tr').evaluateAll((rows) => rows.map((row) => [...row.cells]
    .map((cell) => cell.textContent).filter((text, i, all) => i !== 3 || all[4].startsWith('cut')).join('\t')));
}

try {
  await page.goto(site_origin + '/?count=3&keep=1&fields=author,editor');
  const values = await Promise.all(['Count', 'Keep', 'Fields'].map((label) =>
    page.getByLabel(label, { exact: true }).inputValue()));
  check('the address gives the rule', values.join(' ') === '3 1 author,editor', values.join(' '));

  // Each file at two rules: the native bytes, the native -v, the command.
  for (const [count, keep, fields] of [['6', '', 'author'], ['3', '1', 'author,editor']]) {
    await set_rule(count, keep, fields);
    const args = [...(keep ? ['-k', keep] : []), ...(fields !== 'author' ? ['-f', fields] : []), count];
    for (const file of files) {
      const what = `${basename(file)} at ${args.join(' ')}`;
      const expected = native(file, args);
      const got = await shorten(file);
      check(what + ': the download holds the native bytes', Buffer.compare(got.bytes, expected.bytes) === 0,
        `${got.bytes.length} bytes against ${expected.bytes.length}`);
      check(what + ': the download is named *-short.bib', got.name === basename(file, '.bib') + '-short.bib', got.name);
      const said = await status().textContent();
      check(what + ': the status names the file, the lists cut and those mended',
        said.startsWith(`${basename(file)}: ${status_told(expected)}`), said);
      if (file === et_al) {
        check(what + ': lists ending in "et al.", as a name or inside one, are mended', expected.mended === 5,
          expected.told.join(' | '));
        check(what + ': a name that holds "et al." where no rule can tell the person apart is noted, and so is a macro\'s list',
          expected.notes.length === 2, expected.notes.join(' | '));
      }
      const notes = await page.locator('#notes li').allTextContents();
      check(what + ': the notes are what -v tells', notes.join('\n') === expected.notes.join('\n'),
        notes.join(' | ') + ' against ' + expected.notes.join(' | '));
      if (expected.told.length > 0) {
        const rows = await table_rows(expected.told.length);
        check(what + ': the table is what -v tells', rows.join('\n') === expected.told.join('\n'),
          rows.slice(0, 3).join(' | ') + ' against ' + expected.told.slice(0, 3).join(' | '));
      }
      const command = await page.locator('#command').textContent();
      check(what + ': the shell command', command === ['etal', ...args, basename(file), basename(file, '.bib')
        + '-short.bib'].join(' '), command);
    }
  }
  await page.screenshot({ path: screenshot, fullPage: true });

  // After all those runs, what one run needs and no more: the worker that
  // ran the file shown, which holds its download, and the one made ready for
  // the next request; one object URL, that download's.
  const workers = page.workers();
  const held = await Promise.all([page, ...workers].map((where) => where.evaluate(() => self.urls_held)));
  check(`after ${files.length * 2} files the page keeps one run's workers and object URLs`,
    workers.length <= 2 && held[0] === 0 && held.reduce((sum, n) => sum + n, 0) === 1,
    `${workers.length} workers, object URLs held: ${held.join(', ')}`);
  // Each new worker is handed the module the first compiled: it is fetched
  // once (twice where the service worker fetches it for its worker).
  check(`after ${files.length * 2} files the module was fetched once`, module_fetches <= 2, `${module_fetches} times`);

  // Not a BibTeX file: a message, and nothing to download.
  await page.getByLabel('BibTeX file').setInputFiles(picture);
  const refusal = page.getByText('No BibTeX entry found in figure.png');
  await refusal.waitFor();
  check('a picture gets the message, and no download', await download_link().isHidden());

  // A file larger than the page's memory (sparse: nothing is read before
  // the worker finds it cannot be held), then a small one: a new worker.
  const huge = join(work, 'huge.bib');
  writeFileSync(huge, '@misc{k,}\n');
  truncateSync(huge, 2100 * 1000 * 1000);
  await page.getByLabel('BibTeX file').setInputFiles(huge);
  await page.getByText(/^huge\.bib \(2003 MB\) is too large for this browser’s memory/).waitFor();
  check('a file too large gets the message, and no download', await download_link().isHidden());
  await shorten(bom);
  check('a file after it is shortened', await download_link().isVisible());

  // A file removed once chosen, then a new rule: the worker reads it again,
  // and the page says that it could not.
  const gone = join(work, 'gone.bib');
  cpSync(bom, gone);
  await shorten(gone);
  rmSync(gone);
  await set_rule('2', '', 'author');
  await page.getByText(/^gone\.bib could not be read: /).waitFor();
  check('a file removed once chosen gets the message, and no download', await download_link().isHidden());

  // A wrong setting: the command line's message, beside the box.
  for (const [label, value, message] of [['Count', '0', 'invalid count: 0'],
    ['Keep', '7', 'keep 7 is more than the count 3'], ['Fields', 'book author', 'invalid field name: "book author"']]) {
    await set_rule('3', '1', 'author');
    const box = page.getByLabel(label, { exact: true });
    await box.fill(value);
    const described = page.locator('#' + label.toLowerCase() + '-error');
    await described.getByText(message).waitFor();
    const invalid = await box.getAttribute('aria-invalid');
    const ids = (await box.getAttribute('aria-describedby')).split(' ');
    check(`${label} ${value}: "${message}" beside it`, invalid === 'true' && ids.includes(label.toLowerCase() + '-error'));
  }
  await set_rule('2', '', 'author');

  // Where etal's files cannot be had (the network gone before the site was
  // kept): a message beside the file and beside the entries, and no new
  // worker, which would fail as the last did, again and again.
  const cut_off = await browser.newContext({ serviceWorkers: 'block' });
  await cut_off.route('**/etal.js', (route) => route.abort());
  let worker_loads = 0;
  cut_off.on('request', (request) => { worker_loads += request.url().endsWith('/worker.js'); });
  const lone = await cut_off.newPage();
  await lone.goto(site_origin + '/');
  await lone.getByLabel('BibTeX file').setInputFiles(bom);
  await lone.getByLabel('Entries to shorten').fill('@article{p, author = {A and B}}');
  await lone.locator('#file-error').getByText('etal could not be loaded: connect to the network').waitFor();
  await lone.locator('#pasted-error').getByText('etal could not be loaded: connect to the network').waitFor();
  await lone.waitForTimeout(1000);
  check('where etal cannot be loaded, the file and the entries get the message, and no worker starts on its own',
    worker_loads <= 3, `${worker_loads} loads of worker.js`);
  await cut_off.close();

  // Pasted entries, shortened as the native build does, and copied.
  const pasted = '@article{p,\n  author = {Ünal, A. and Bo, B. and Cy, C.},\n}\n';
  writeFileSync(join(work, 'pasted.bib'), pasted);
  const expected_paste = native(join(work, 'pasted.bib'), ['2']).bytes.toString('utf8');
  await page.getByLabel('Entries to shorten').fill(pasted);
  await page.waitForFunction((text) => document.getElementById('shortened').value === text, expected_paste);
  await page.getByRole('button', { name: 'Copy' }).click();
  await page.getByText('Copied.').waitFor();
  check('pasted entries come back shortened, and copy', await page.evaluate(() => navigator.clipboard.readText())
    === expected_paste);

  // Every control is reached by the keyboard alone.
  await page.getByLabel('BibTeX file').setInputFiles(bom);
  await download_link().waitFor();
  await page.locator('body').focus();
  const reached = new Set();
  for (let i = 0; i < 20; i++) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => document.activeElement.id || document.activeElement.tagName));
  }
  const wanted = ['count', 'keep', 'fields', 'file', 'download', 'cuts-summary', 'pasted', 'copy'];
  check('every control is reached by Tab', wanted.every((id) => reached.has(id)), [...reached].join(' '));

  // axe-core, in the page as it is now.
  check('axe-core finds no serious or critical violation', await no_serious_violation());

  // Fields typed as people write lists: the blanks around a comma are no
  // part of a name. With a file chosen and entries pasted, each new rule
  // shortens both.
  await set_rule('3', '1', 'author');
  await page.getByLabel('Fields', { exact: true }).fill('author , editor');
  await page.waitForURL((url) => url.search === '?count=3&keep=1&fields=author,editor');
  const spaced = await shorten(bom);
  const journal_rule = ['-k', '1', '-f', 'author,editor', '3'];
  check('Fields "author , editor" shortens as author,editor does',
    Buffer.compare(spaced.bytes, native(bom, journal_rule).bytes) === 0);
  check('... and the command writes -f author,editor',
    await page.locator('#command').textContent() === 'etal -k 1 -f author,editor 3 bom.bib bom-short.bib');
  await page.waitForFunction((text) => document.getElementById('shortened').value === text,
    native(join(work, 'pasted.bib'), journal_rule).bytes.toString('utf8'));

  // From a small phone's width to a desktop's: nothing is wider than the
  // window, and each cell of the table lies inside it, beside the next.
  await set_rule('6', '', 'author');
  await shorten(long_keys);
  await table_rows(2);
  for (const width of [320, 390, 768, 1280]) {
    await page.setViewportSize({ width, height: 900 });
    const laid_out = await page.evaluate(() => {
      const wrong = [];
      if (document.documentElement.scrollWidth > innerWidth)
        wrong.push(`the page is ${document.documentElement.scrollWidth} px wide`);
      const table = document.querySelector('#cuts table').getBoundingClientRect();
      for (const row of document.querySelectorAll('#cuts tr')) {
        let left = table.left;
        for (const cell of row.children) {
          const box = cell.getBoundingClientRect();
          if (box.width === 0 || box.left < left - 0.5 || box.right > table.right + 0.5 ||
              cell.scrollWidth > cell.clientWidth)
            wrong.push(`"${cell.textContent}" at ${box.left}-${box.right}`);
          left = box.right;
        }
      }
      // What a person taps is a finger high.
      for (const id of ['download', 'copy', 'cuts-summary']) {
        const height = document.getElementById(id).getBoundingClientRect().height;
        if (height < 44)
          wrong.push(`${id} is ${height} px high`);
      }
      return wrong;
    });
    check(`at ${width} px the page fits, the table's cells lie side by side within it, and what is tapped is 44 px high`,
      laid_out.length === 0, laid_out.join('; '));
    if (width === 390) {
      check('at 390 px axe-core finds no serious or critical violation', await no_serious_violation());
      // All of it in view, so that the browser draws every row.
      await page.setViewportSize({ width, height: await page.evaluate(() => document.body.scrollHeight) });
      await page.screenshot({ path: screenshot.replace(/\.png$/, '-phone.png') });
    }
  }
  await page.setViewportSize({ width: 1100, height: 900 });
  check('no request leaves the page\'s origin', elsewhere.length === 0, elsewhere.join(' '));

  // The app, in a profile of its own, at the rule of its address. The
  // launch queue of an installed app, which hands over the files it is
  // opened with, is in the page's hands for the test to call.
  app = await launch_chromium_profile(join(work, 'profile'), { acceptDownloads: true, viewport: { width: 1100, height: 900 } });
  await app.addInitScript(() => Object.defineProperty(window, 'launchQueue', {
    configurable: true, value: { setConsumer: (consumer) => { window.launch_consumer = consumer; } } }));
  page = app.pages()[0] ?? await app.newPage();
  watch(app, page);
  await page.goto(site_origin + '/?count=6&fields=author');
  await page.evaluate(() => navigator.serviceWorker.ready);

  // Installable: Chromium finds nothing in the way.
  const devtools = await app.newCDPSession(page);
  const { installabilityErrors } = await devtools.send('Page.getInstallabilityErrors');
  check('Chromium finds nothing that keeps the page from being installed', installabilityErrors.length === 0,
    JSON.stringify(installabilityErrors));

  // Opened with a .bib file, as an installed app is: that file, by the rule
  // of the address. (The browser's launch queue, stood in for.)
  await page.evaluate(async ([name, text]) => {
    const file = new File([text], name);
    await window.launch_consumer({ files: [{ getFile: async () => file }] });
  }, ['opened.bib', readFileSync(et_al, 'latin1')]);
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('opened.bib:'));
  check('a .bib file the app is opened with is shortened',
    (await status().textContent()).startsWith('opened.bib: ' + status_told(native(et_al, ['6']))));

  // With the network off, after a reload: the site the service worker kept.
  await app.setOffline(true);
  await page.reload();
  const offline = await shorten(et_al);
  check('offline, the page opens and shortens a file to the native bytes',
    Buffer.compare(offline.bytes, native(et_al, ['6']).bytes) === 0);
  await app.setOffline(false);

  // A new version published: after a reload its files replace the old, and
  // its cache the old cache.
  const republish = (name, change) => writeFileSync(join(site, name), change(readFileSync(join(site, name), 'utf8')));
  republish('index.html', (text) => text.replace('MIT licence.', 'MIT licence. New.'));
  republish('sw.js', (text) => text.replace(/const version = '([^']*)'/, "const version = '$1-new'"));
  await page.reload();
  await page.getByText('MIT licence. New.').waitFor();
  const kept = await page.evaluate(() => caches.keys());
  check('a new version replaces the old after a reload, and drops its cache', kept.length === 1 && kept[0].endsWith('-new'),
    kept.join(' | '));

  check('the app asks nothing of another host', elsewhere.length === 0, elsewhere.join(' '));
  const site_size = readdirSync(site).reduce((sum, name) => sum + statSync(join(site, name)).size, 0);
  check('the whole site is under 300 KiB', site_size < 300 * 1024, `${site_size} bytes`);
  check('no console error', complaints.length === 0, complaints.join(' | '));
} catch (error) {
  check('the page works through', false, error.stack);
} finally {
  await app?.close();
  await browser.close();
  server.close();
  rmSync(work, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
