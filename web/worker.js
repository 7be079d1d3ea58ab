// The page's worker: it runs the rule, compiled to WebAssembly, over the
// bytes of a file or of pasted text, so that the page never waits on it.
// Each request carries the settings, which are answered first: "check"
// (settings alone), "text" (pasted bytes) or "file" (a File, which the worker
// reads itself as the rule runs, while the browser fetches the next bytes).
// One run at a time. A file is a worker's last request: the worker holds
// its download, by an address of its own, until the page ends it.
'use strict';
importScripts('etal.js');

// The page's first message hands over the compiled module, once a worker
// before this one has compiled it: this one need not compile it again.
let take_module = null;
const module_given = new Promise((resolve) => { take_module = resolve; });

// The module compiled here, where no worker has before: streamed as it
// arrives, or, from a server that does not say it is WebAssembly, read whole.
function compile() {
  return WebAssembly.compileStreaming(fetch('etal.wasm')).catch(() =>
    fetch('etal.wasm').then((response) => response.arrayBuffer()).then((bytes) => WebAssembly.compile(bytes)));
}

// The browser first compiles the module in haste, and optimises a function
// only once it has run a while: a little work up front has the busiest ones
// optimised before a file comes.
function warm_up(etal) {
  const entry = '@article{key,\n  author = {Lee, A. and Ruiz, B. and Park, D. and Moss, E. and Kent, F. and Ford, G.'
    + ' and Hale, H.},\n  title = {A title},\n  year = {2024},\n}\n';
  const sample = new TextEncoder().encode(entry.repeat(20000));
  start(etal, { count: '', keep: '', fields: 'author' }, sample.length);
  shorten(etal, sample, []);
  etal._etal_finish();
  etal._etal_end();
}

const module_ready = module_given.then(async (given) => {
  const module = given ?? await compile();
  if (given === null)
    postMessage({ type: 'module', module });
  const etal = await create_etal({
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
      return {};
    },
  });
  warm_up(etal);
  return etal;
});

let queue = Promise.resolve();

onmessage = (event) => {
  const request = event.data;
  if (request.type === 'module') {
    take_module(request.module);
    return;
  }
  queue = queue.then(() => module_ready).then((etal) => handle(etal, request)).catch((error) => {
    // The module ran out of memory, or broke: the page starts a new worker.
    // A C++ exception comes out as a number: memory that could not be had.
    postMessage({ type: 'failed', id: request.id, message: error instanceof Error ? error.message : 'out of memory' });
  });
};

function handle(etal, request) {
  const size = request.type === 'file' ? request.file.size : request.type === 'text' ? request.text.byteLength : 0;
  const wrong = start(etal, request.settings, size);
  postMessage({ type: 'settings', id: request.id, wrong });
  if (wrong !== null || request.type === 'check')
    return undefined;
  if (request.type === 'file')
    return shorten_file(etal, request);
  const clock = performance.now();
  const parts = [];
  shorten(etal, new Uint8Array(request.text), parts);
  finish(etal, parts);
  return answer_done(etal, request.id, parts.length === 1 ? parts[0] : joined(parts), { rule: performance.now() - clock });
}

// Pasted text's parts as one run of bytes, which the page decodes.
function joined(parts) {
  const all = new Uint8Array(parts.reduce((sum, part) => sum + part.length, 0));
  let at = 0;
  for (const part of parts) {
    all.set(part, at);
    at += part.length;
  }
  return all;
}

// Starts the rule with the settings as typed: null, or what is wrong.
function start(etal, settings, size) {
  const wrong = etal.ccall('etal_start', 'number', ['string', 'string', 'string', 'number'],
    [settings.count, settings.keep, settings.fields, size]);
  return wrong === 0 ? null : { setting: ['count', 'keep', 'fields'][wrong - 1], message: etal.UTF8ToString(etal._etal_message()) };
}

// Runs the rule over the next bytes, and adds what it writes to `parts`.
// Those bytes are read by then, and their room, already the page's, takes
// the output where it fits: a file's worth of fresh memory would cost more
// than the rule.
function shorten(etal, bytes, parts) {
  const at = etal._etal_chunk(bytes.length);
  etal.HEAPU8.set(bytes, at);  // HEAPU8 is read anew: memory may have grown
  etal._etal_feed(bytes.length);
  take_output(etal, bytes, parts);
}

function finish(etal, parts) {
  etal._etal_finish();
  take_output(etal, new Uint8Array(0), parts);
}

function take_output(etal, room, parts) {
  const at = etal._etal_output();
  const written = etal.HEAPU8.subarray(at, at + etal._etal_output_size());
  if (written.length === 0)
    return;
  if (written.length > room.length) {
    parts.push(written.slice());
    return;
  }
  room.set(written);
  parts.push(room.subarray(0, written.length));
}

async function shorten_file(etal, request) {
  const { id, file } = request;
  const times = { read: 0, rule: 0 };
  const parts = [];
  const reader = file.stream().getReader();
  for (let done = 0, told = 0; ;) {
    let clock = performance.now();
    let piece;
    try {
      piece = await reader.read();
    } catch {
      // Removed or changed since it was chosen, say.
      etal._etal_end();
      postMessage({ type: 'unreadable', id });
      return;
    }
    times.read += performance.now() - clock;
    if (piece.done)
      break;
    clock = performance.now();
    shorten(etal, piece.value, parts);
    times.rule += performance.now() - clock;
    done += piece.value.length;
    if (done - told >= progress_step) {
      told = done;
      postMessage({ type: 'progress', id, done });
    }
  }
  const clock = performance.now();
  finish(etal, parts);
  times.rule += performance.now() - clock;
  // Made here rather than on the page, the download's Blob need not pass
  // through it, and lives only as long as this worker: its address goes
  // with it.
  const made = performance.now();
  const shortened = URL.createObjectURL(new Blob(parts, { type: 'text/x-bibtex' }));
  times.output = performance.now() - made;
  answer_done(etal, id, shortened, times);
}

// The progress bar moves on every so many bytes read.
const progress_step = 1 << 20;

function answer_done(etal, id, output, times) {
  const cuts_at = etal._etal_cuts();
  const cuts = new TextDecoder().decode(etal.HEAPU8.subarray(cuts_at, cuts_at + etal._etal_cuts_size()));
  const result = {
    type: 'done', id, output, cuts, times,
    lists_cut: etal._etal_lists_cut(), lists_mended: etal._etal_lists_mended(),
    found_entry: etal._etal_found_entry() === 1,
  };
  etal._etal_end();
  postMessage(result, typeof output === 'string' ? [] : [output.buffer]);
}
