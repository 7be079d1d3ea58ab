// The page's worker: it runs the rule, compiled to WebAssembly, over the
// bytes of a file or of pasted text, so that the page never waits on it. A
// run is a "start" with the settings, "piece"s of bytes (the page reads the
// file while the rule runs over what came before), and an "end"; a newer
// start drops what is left of an older run.
'use strict';
importScripts('etal.js');

// The browser first compiles the module in haste, and optimises a function
// only once it has run a while: a little work up front has the busiest ones
// optimised before a file comes.
const module_ready = create_etal().then((etal) => {
  const entry = '@article{key,\n  author = {Lee, A. and Ruiz, B. and Park, D. and Moss, E. and Kent, F. and Ford, G.'
    + ' and Hale, H.},\n  title = {A title},\n  year = {2024},\n}\n';
  const sample = new TextEncoder().encode(entry.repeat(20000));
  start(etal, { count: '', keep: '', fields: 'author' }, sample.length);
  feed(etal, sample);
  etal._etal_finish();
  etal._etal_end();
  return etal;
});

let running = 0;  // the id of the run under way, 0 for none
let done_bytes = 0;
let rule_time = 0;
let queue = Promise.resolve();

onmessage = (event) => {
  const request = event.data;
  queue = queue.then(() => module_ready).then((etal) => handle(etal, request)).catch((error) => {
    // The module ran out of memory, or broke: the page starts a new worker.
    // A C++ exception comes out as a number: memory that could not be had.
    running = 0;
    postMessage({ type: 'failed', id: request.id, message: error instanceof Error ? error.message : 'out of memory' });
  });
};

// Starts the rule with the settings as typed: null, or what is wrong.
function start(etal, settings, size) {
  const wrong = etal.ccall('etal_start', 'number', ['string', 'string', 'string', 'number'],
    [settings.count, settings.keep, settings.fields, size]);
  return wrong === 0 ? null : { setting: ['count', 'keep', 'fields'][wrong - 1], message: etal.UTF8ToString(etal._etal_message()) };
}

function feed(etal, bytes) {
  const at = etal._etal_chunk(bytes.length);
  etal.HEAPU8.set(bytes, at);  // HEAPU8 is read anew: memory may have grown
  etal._etal_feed(bytes.length);
}

function handle(etal, request) {
  if (request.type === 'start') {
    const wrong = start(etal, request.settings, request.size);
    running = wrong === null ? request.id : 0;
    done_bytes = 0;
    rule_time = 0;
    postMessage({ type: 'settings', id: request.id, wrong });
    return;
  }
  if (request.id !== running)
    return;  // a run since replaced, or whose settings were wrong
  const clock = performance.now();
  if (request.type === 'piece') {
    const piece = new Uint8Array(request.piece);
    feed(etal, piece);
    rule_time += performance.now() - clock;
    done_bytes += piece.length;
    postMessage({ type: 'progress', id: request.id, done: done_bytes });
    return;
  }
  // The end: a file's result goes out as a Blob, made here rather than on
  // the page; pasted text as bytes, which the page decodes.
  etal._etal_finish();
  const ended = performance.now();
  rule_time += ended - clock;
  const at = etal._etal_output();
  const shortened = etal.HEAPU8.subarray(at, at + etal._etal_output_size());
  const output = request.blob ? new Blob([shortened], { type: 'text/x-bibtex' }) : shortened.slice();
  const cuts_at = etal._etal_cuts();
  const cuts = new TextDecoder().decode(etal.HEAPU8.subarray(cuts_at, cuts_at + etal._etal_cuts_size()));
  const result = {
    type: 'done', id: request.id, output, cuts,
    lists_cut: etal._etal_lists_cut(), lists_mended: etal._etal_lists_mended(),
    found_entry: etal._etal_found_entry() === 1,
  };
  etal._etal_end();
  running = 0;
  result.times = { rule: rule_time, output: performance.now() - ended };
  postMessage(result, output instanceof Blob ? [] : [output.buffer]);
}
