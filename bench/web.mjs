// Times the page on one large file in Debian's Chromium: from the file being
// chosen to the download being ready, with its parts (reading the file, the
// rule in WebAssembly, the result made a Blob), then the table of cuts
// filled; and the longest the page's main thread was busy at a stretch.
// With BEFORE files, the same page first shortens each of them at three
// rules, as a person does a folder of exports one after the other. Each
// round in a browser of its own. Prints one line of figures as "name=value"
// words, times in ms.
//
// usage: node bench/web.mjs SITE FILE [ROUNDS [BEFORE...]]
import { launch_chromium, origin, serve } from '../tests/page_browser.mjs';

const [site, file, rounds_text = '3', ...before] = process.argv.slice(2);
const server = await serve(site);

// Chooses `chosen` with the rule `count` and `keep` in the boxes, and waits
// for its download to be ready.
async function shorten(page, chosen, count, keep) {
  const ready = () => page.evaluate(() => document.getElementById('download').href);
  const was = await ready();
  await page.getByLabel('Count', { exact: true }).fill(count);
  await page.getByLabel('Keep', { exact: true }).fill(keep);
  await page.getByLabel('BibTeX file').setInputFiles(chosen);
  await page.waitForFunction((old) => {
    const link = document.getElementById('download');
    return !link.hidden && link.href !== old && document.getElementById('progress').hidden;
  }, was, { timeout: 120000 });
}

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const figures = {};
for (let round = 0; round < Number(rounds_text); round++) {
  const browser = await launch_chromium();
  const page = await browser.newPage();
  await page.goto(origin(server) + '/');
  // The last rule is the default, which the large file is shortened by.
  for (const earlier of before)
    for (const [count, keep] of [['3', '1'], ['3', ''], ['6', '']])
      await shorten(page, earlier, count, keep);
  await page.evaluate(() => performance.clearMeasures());
  await page.evaluate(() => {
    window.longest_task = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries())
        window.longest_task = Math.max(window.longest_task, entry.duration);
    }).observe({ type: 'longtask' });
  });
  // A person takes a moment to choose a file, in which the worker makes ready.
  await page.waitForTimeout(1000);
  const was = await page.evaluate(() => document.getElementById('download').href);
  await page.getByLabel('BibTeX file').setInputFiles(file);
  await page.waitForFunction((old) => {
    const link = document.getElementById('download');
    return !link.hidden && link.href !== old;
  }, was, { timeout: 120000 });
  const table_start = await page.evaluate(() => performance.now());
  const count = await page.evaluate(() => document.getElementById('cuts-summary').textContent.match(/[\d,]+/)[0]);
  await page.locator('#cuts-summary').click();
  await page.waitForFunction((n) => document.querySelectorAll('#cuts tbody tr').length === n,
    Number(count.replace(/,/g, '')), { timeout: 120000 });
  const measured = await page.evaluate((start) => {
    const took = {};
    for (const entry of performance.getEntriesByType('measure'))
      took[entry.name.replace('etal: ', '')] = entry.duration;
    took.table = performance.now() - start;
    took.longest_task = window.longest_task;
    return took;
  }, table_start);
  for (const [name, value] of Object.entries(measured))
    (figures[name] ??= []).push(value);
  figures.rows = [Number(count.replace(/,/g, ''))];
  await browser.close();
}
server.close();
console.log(Object.entries(figures).map(([name, values]) =>
  `${name.replace(/ /g, '_')}=${median(values).toFixed(name === 'rows' ? 0 : 1)}`).join(' '));
