// The page: reads the rule from its address and boxes, hands files and
// pasted text to the worker, and shows what it gives back. It never decodes
// a file, nor reads one: the worker does, and gives back the address of a
// Blob to download. Each file has a worker of its own, which holds that
// download and the memory the file went through; when the next file starts,
// it goes, and all of that with it, at once rather than when a collector
// comes by.
'use strict';

const $ = (id) => document.getElementById(id);
const settings = ['count', 'keep', 'fields'];
const default_count = '6';  // as the command line's, when the box is empty
const rows_a_batch = 400;  // table rows added in one go, so that the page never stalls

let worker = null;  // serves the next request, made ready ahead of it once a file is done
let compiled = null;  // the WebAssembly module, once a worker has compiled it
let file_worker = null;  // ran the file shown, and holds its download
let next_id = 0;
const runs = { file: 0, text: 0, check: 0 };  // the id of the newest request of each kind
let chosen = null;  // the File being shown
let paste_timer = 0;

function start_worker() {
  const started = new Worker('worker.js');
  let answered = false;  // one that fails before it ever answers could not be loaded
  started.postMessage({ type: 'module', module: compiled });
  started.onmessage = (event) => {
    answered = true;
    answer(event.data, started);
  };
  started.onerror = (event) => {
    event.preventDefault();
    failed({ id: runs.file, message: event.message }, started, answered);
  };
  worker = started;
}

// The settings as typed, but for blanks around them, and around the commas
// of the fields ("author, editor"), which the command line would refuse.
function current_settings() {
  const values = {};
  for (const name of settings)
    values[name] = $(name).value.trim();
  values.fields = values.fields.split(',').map((field) => field.trim()).join(',');
  return values;
}

// Asks the worker for a run: the settings checked, and a file or pasted
// text shortened by them.
function start_run(kind, request = {}) {
  if (worker === null)
    start_worker();
  const id = ++next_id;
  runs[kind] = id;
  worker.postMessage({ type: kind, id, settings: current_settings(), ...request },
    request.text === undefined ? [] : [request.text]);
}

// The rule in the address, as ?count=6&keep=1&fields=author,editor.
function read_address() {
  const query = new URLSearchParams(location.search);
  for (const name of settings)
    if (query.has(name))
      $(name).value = query.get(name);
}

function write_address() {
  const query = new URLSearchParams();
  const values = current_settings();
  for (const name of settings)
    if (values[name] !== '' || name !== 'keep')
      query.set(name, values[name]);
  history.replaceState(null, '', '?' + query.toString().replace(/%2C/g, ','));
}

function show_setting_error(wrong) {
  for (const name of settings) {
    const box = $(name);
    const error = $(name + '-error');
    const is_wrong = wrong !== null && wrong.setting === name;
    if (is_wrong)
      box.setAttribute('aria-invalid', 'true');
    else
      box.removeAttribute('aria-invalid');
    error.hidden = !is_wrong;
    error.textContent = is_wrong ? wrong.message : '';
  }
}

// The download's name: refs.bib gives refs-short.bib.
function short_name(name) {
  return name.replace(/\.(bib|bibtex|txt)$/i, '') + '-short.bib';
}

// A file name as a word for a shell: quoted unless plain, and never taken
// for an option.
function shell_word(name) {
  const word = name.startsWith('-') ? './' + name : name;
  return /^[\w@%+=:,./-]+$/.test(word) ? word : "'" + word.replace(/'/g, "'\\''") + "'";
}

function shell_command(name) {
  const values = current_settings();
  const words = ['etal'];
  if (values.keep !== '')
    words.push('-k', values.keep);
  if (values.fields !== 'author')
    words.push('-f', values.fields);
  words.push(values.count || default_count, shell_word(name), shell_word(short_name(name)));
  return words.join(' ');
}

function forget_result() {
  if (file_worker !== null)
    file_worker.terminate();
  file_worker = null;
  $('download').removeAttribute('href');
  $('download').hidden = true;
  $('cuts').hidden = true;
  $('notes').hidden = true;
  $('shell').hidden = true;
  table_rows = [];
  for (const body of $('cuts').querySelectorAll('tbody'))
    body.remove();
}

function shorten_file() {
  if (chosen === null)
    return;
  forget_result();
  $('file-error').hidden = true;
  $('status').textContent = 'Shortening ' + chosen.name + '…';
  $('progress').value = 0;
  $('progress').hidden = false;
  performance.clearMarks('etal:chosen');
  performance.clearMeasures();
  performance.mark('etal:chosen');
  start_run('file', { file: chosen });
  // The next worker starts once this file is done: until then it would
  // take the processor from it.
  file_worker = worker;
  worker = null;
}

function shorten_pasted() {
  clearTimeout(paste_timer);
  const text = $('pasted').value;
  if (text === '') {
    $('shortened').value = '';
    return;
  }
  start_run('text', { text: new TextEncoder().encode(text).buffer });
}

function settings_changed() {
  write_address();
  if (chosen !== null)
    shorten_file();
  if ($('pasted').value !== '')
    shorten_pasted();
  if (chosen === null && $('pasted').value === '')
    start_run('check');
}

function answer(message, from) {
  if (message.type === 'module') {
    compiled = message.module;  // for the workers to come
    return;
  }
  if (message.type === 'failed')
    return failed(message, from);
  if (message.type === 'progress') {
    if (message.id === runs.file)
      $('progress').value = message.done / chosen.size;
    return;
  }
  if (from === file_worker && (message.type !== 'settings' || message.wrong !== null) && worker === null)
    start_worker();  // the file is done with: the next request's worker makes ready
  const kind = Object.keys(runs).find((name) => runs[name] === message.id);
  if (kind === undefined)
    return;  // an answer to a request since replaced
  if (message.type === 'settings') {
    show_setting_error(message.wrong);
    if (message.wrong !== null && kind === 'file') {
      runs.file = 0;
      $('progress').hidden = true;
      $('status').textContent = 'Nothing shortened: the rule above needs mending.';
    }
    return;
  }
  if (message.type === 'unreadable') {
    // The browser's own words ("network error") say little of why.
    runs.file = 0;
    $('progress').hidden = true;
    $('status').textContent = '';
    show_file_error(chosen.name + ' could not be read: it may have been moved, removed or changed since it was'
      + ' chosen. Choose it again.');
  } else if (kind === 'text') {
    show_pasted_error('');
    $('shortened').value = new TextDecoder().decode(message.output);
  } else if (kind === 'file')
    file_done(message);
}

// 12,345: as toLocaleString('en') writes it, without the tens of
// milliseconds its first call takes to load the locales.
const with_commas = (n) => String(n).replace(/\B(?=(\d{3})+$)/g, ',');

function file_done(result) {
  $('progress').hidden = true;
  const name = chosen.name;
  if (!result.found_entry) {
    $('status').textContent = '';
    show_file_error('No BibTeX entry found in ' + name + ': no line starts with @.');
    return;
  }
  const cut = result.lists_cut;
  const mended = result.lists_mended;
  const lists = (n) => with_commas(n) + (n === 1 ? ' list' : ' lists');
  const done = [];
  if (cut > 0)
    done.push(lists(cut) + ' cut');
  if (mended > 0)
    done.push((cut > 0 ? with_commas(mended) : lists(mended)) + ' mended (“et al.” written as a name or inside one, now others)');
  $('status').textContent = name + ': ' + (done.length === 0 ? 'no list is over the rule; nothing was cut.'
    : done.join(', ') + '.');
  const link = $('download');
  link.href = result.output;
  link.download = short_name(name);
  link.textContent = 'Download ' + short_name(name);
  link.hidden = false;
  $('command').textContent = shell_command(name);
  $('shell').hidden = false;
  performance.mark('etal:ready');
  performance.measure('etal: file chosen to download ready', 'etal:chosen', 'etal:ready');
  for (const [part, duration] of Object.entries(result.times))
    performance.measure('etal: ' + part, { start: performance.now() - duration, duration });
  show_cuts(result.cuts, cut + mended);
}

// The cuts and mends, "LINE\tKEY\tFIELD\tNAMES\tET_AL\tNOW\tBUILT" a line,
// ET_AL, NOW and BUILT empty for a cut; the names that hold "et al." where no
// rule can tell the person apart, NOW empty, and the lists over the count
// that only BibTeX builds, from a macro or with #, BUILT how: shown as notes. The table fills when it
// is opened, a batch of rows at a time.
let table_rows = [];
let names_kept = '';  // of the rule the rows were made with

function show_cuts(text, count) {
  const rows = text === '' ? [] : text.slice(0, -1).split('\n');
  const is_note = (row) => /\t[^\t]+\t\t$/.test(row) || !/\t$/.test(row);
  table_rows = rows.filter((row) => !is_note(row));
  show_notes(rows.filter(is_note));
  const values = current_settings();
  names_kept = values.keep || values.count || default_count;
  $('cuts-summary').textContent = 'Lists cut or mended (' + with_commas(count) + ')';
  $('cuts').hidden = count === 0;
  if ($('cuts').open)
    fill_table();
}

// A row's last cell: what became of the list.
function change(et_al, now) {
  return et_al === '' ? 'cut to ' + names_kept : '“' + et_al + '” → ' + now;
}

// A line for each name to fix by hand, as etal -v tells of it.
function show_notes(rows) {
  const list = $('notes');
  list.replaceChildren(...rows.map((row) => {
    const [line_number, key, field, names, name, , built] = row.split('\t');
    const item = document.createElement('li');
    item.textContent = 'Line ' + line_number + ', ' + key + ', ' + field + (built
      ? ' is ' + built + ', ' + with_commas(Number(names)) + ' names, more than ' + (current_settings().count || default_count)
        + ': not cut; write the list out to shorten it.'
      : ': “' + name + '” holds “et al.”: fix it by hand.');
    return item;
  }));
  list.hidden = rows.length === 0;
}

function fill_table() {
  const table = $('cuts').querySelector('table');
  const shown = table.querySelectorAll('tbody tr').length;
  if (shown >= table_rows.length)
    return;
  const body = document.createElement('tbody');
  body.setAttribute('role', 'rowgroup');
  const batch = table_rows.slice(shown, shown + rows_a_batch);
  // Its height until it is first shown, for the scroll bar.
  body.style.containIntrinsicSize = 'auto ' + (batch.length * 1.85).toFixed(1) + 'rem';
  for (const row of batch) {
    const line = document.createElement('tr');
    line.setAttribute('role', 'row');
    const [line_number, key, field, names, et_al, now] = row.split('\t');
    for (const value of [line_number, key, field, names, change(et_al, now)]) {
      const cell = document.createElement('td');
      cell.setAttribute('role', 'cell');
      cell.textContent = value;
      line.append(cell);
    }
    body.append(line);
  }
  table.append(body);
  const rows = table_rows;
  setTimeout(() => {
    if (rows === table_rows)
      fill_table();
  }, 0);
}

// The worker is spent. One that ran out of memory gives way to a new one,
// which serves the next request. One whose files could not be had (no
// network, and the site not yet kept) has none after it, which would fail
// as it did: the next request starts one, and so tries again.
function failed(message, from, loaded = true) {
  from.terminate();
  if (from === file_worker)
    file_worker = null;
  if (from === worker)
    worker = null;
  if (loaded && worker === null)
    start_worker();
  const was_file = runs.file !== 0 && message.id === runs.file;
  runs.file = 0;
  $('progress').hidden = true;
  const why = 'etal could not be loaded: connect to the network, then ';
  if (was_file && chosen !== null) {
    $('status').textContent = '';
    const size = (chosen.size / (1 << 20)).toFixed(0);
    show_file_error(loaded ? chosen.name + ' (' + size + ' MB) is too large for this browser’s memory ('
      + message.message + '): shorten it with etal on the command line.' : why + 'choose the file again.');
  }
  if (!loaded && $('pasted').value !== '') {
    $('shortened').value = '';
    show_pasted_error(why + 'paste the entries again.');
  }
}

function show_pasted_error(text) {
  $('pasted-error').textContent = text;
  $('pasted-error').hidden = text === '';
}

function show_file_error(text) {
  $('file-error').textContent = text;
  $('file-error').hidden = false;
}

function choose(file) {
  chosen = file;
  shorten_file();
}

function copy_result() {
  const text = $('shortened').value;
  navigator.clipboard.writeText(text).then(
    () => { $('copy-status').textContent = text === '' ? 'Nothing to copy.' : 'Copied.'; },
    () => {
      $('shortened').select();
      $('copy-status').textContent = 'Copying was refused: the text is selected, press Ctrl+C.';
    });
}

// Offline and installed: a service worker keeps the site. A newer version,
// once the browser has it, takes over from a page that no one is at work in,
// which then reloads into it; a page at work says that it is ready.
function keep_site() {
  if (!('serviceWorker' in navigator))
    return;
  const idle = () => chosen === null && $('pasted').value === '';
  const say_ready = () => {
    $('update').textContent = 'A newer version of this page is ready: reload the page to use it.';
  };
  const offer = (newer) => {
    if (idle())
      newer.postMessage('take over');
    else
      say_ready();
  };
  const replaces = navigator.serviceWorker.controller !== null;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (!replaces)
      return;  // the first version, taking over the page it was installed from
    if (idle())
      location.reload();
    else
      say_ready();
  });
  navigator.serviceWorker.register('sw.js').then((registration) => {
    if (registration.waiting !== null && replaces)
      offer(registration.waiting);
    registration.addEventListener('updatefound', () => {
      const newer = registration.installing;
      newer.addEventListener('statechange', () => {
        if (newer.state === 'installed' && navigator.serviceWorker.controller !== null)
          offer(newer);
      });
    });
  }).catch(() => {});  // file://, or a browser that keeps nothing
}

// Installed, the app is offered for .bib files: it shortens the one it is
// opened with, by the rule of its address.
function open_launched_files() {
  if (!('launchQueue' in window))
    return;
  window.launchQueue.setConsumer(async (launch) => {
    if (launch.files.length > 0)
      choose(await launch.files[0].getFile());
  });
}

document.addEventListener('DOMContentLoaded', () => {
  keep_site();
  read_address();
  start_worker();
  settings_changed();
  open_launched_files();
  let settings_timer = 0;
  for (const name of settings) {
    $(name).addEventListener('input', () => {
      clearTimeout(settings_timer);
      settings_timer = setTimeout(settings_changed, 300);
    });
  }
  $('file').addEventListener('change', () => {
    if ($('file').files.length > 0)
      choose($('file').files[0]);
  });
  const zone = $('drop-zone');
  zone.addEventListener('dragover', (event) => {
    event.preventDefault();
    zone.classList.add('over');
  });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    if (event.dataTransfer.files.length > 0)
      choose(event.dataTransfer.files[0]);
  });
  $('cuts').addEventListener('toggle', () => {
    if ($('cuts').open)
      fill_table();
  });
  $('pasted').addEventListener('input', () => {
    clearTimeout(paste_timer);
    paste_timer = setTimeout(shorten_pasted, 150);
  });
  $('copy').addEventListener('click', copy_result);
});
