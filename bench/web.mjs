// Times the page on one large file in Debian's Chromium: from the file being
// chosen to the download being ready, with its parts (reading the file, the
// rule in WebAssembly, the result made a Blob), then the table of cuts
// filled; and the longest the page's main thread was busy at a stretch.
// Prints one line of figures as "name=value" words, times in ms.
//
// usage: node bench/web.mjs SITE FILE [ROUNDS]
import { launch_chromium, origin, serve } from '../tests/page_browser.mjs';

const [site, file, rounds_text = '3'] = process.argv.slice(2);
const server = await serve(site);
const browser = await launch_chromium();

const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const figures = {};
for (let round = 0; round < Number(rounds_text); round++) {
  const page = await browser.newPage();
  await page.goto(origin(server) + '/');
  await page.evaluate(() => {
    window.longest_task = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries())
        window.longest_task = Math.max(window.longest_task, entry.duration);
    }).observe({ type: 'longtask' });
  });
  // A person takes a moment to choose a file, in which the worker makes ready.
  await page.waitForTimeout(1000);
  await page.getByLabel('BibTeX file').setInputFiles(file);
  await page.getByRole('link', { name: /^Download / }).waitFor({ timeout: 120000 });
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
  await page.close();
}
await browser.close();
server.close();
console.log(Object.entries(figures).map(([name, values]) =>
  `${name.replace(/ /g, '_')}=${median(values).toFixed(name === 'rows' ? 0 : 1)}`).join(' '));
