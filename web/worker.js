// The page's worker: it reads a file, or pasted text, as bytes and runs the
// rule over them in WebAssembly, so that the page never waits on either.
// Requests carry an id; a newer request stops an older one at its next chunk.
'use strict';
importScripts('etal.js');

const module_ready = create_etal();
let latest = 0;
let queue = Promise.resolve();

onmessage = (event) => {
  const request = event.data;
  latest = request.id;
  queue = queue.then(() => handle(request)).catch((error) => {
    // The module ran out of memory, or broke: the page starts a new worker.
    postMessage({ type: 'failed', id: request.id, message: String(error && error.message || error) });
  });
};

// Starts the rule with the settings as typed: null, or the complaint.
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

async function handle(request) {
  if (request.id !== latest)
    return;
  const etal = await module_ready;
  const source = request.source;  // a File, or the bytes of pasted text, or nothing for a check
  const size = source ? source.size ?? source.length : 0;
  const wrong = start(etal, request.settings, size);
  if (wrong || !source) {
    postMessage({ type: 'settings', id: request.id, wrong });
    etal._etal_end();
    return;
  }
  const times = { read: 0, rule: 0, output: 0 };
  let clock = performance.now();
  const lap = (part) => {
    const now = performance.now();
    times[part] += now - clock;
    clock = now;
  };
  if (source instanceof Blob) {
    const reader = source.stream().getReader();
    let done_bytes = 0;
    let told = 0;
    for (;;) {
      const { done, value } = await reader.read();
      lap('read');
      if (done)
        break;
      if (request.id !== latest) {
        reader.cancel();
        etal._etal_end();
        return;
      }
      feed(etal, value);
      lap('rule');
      done_bytes += value.length;
      if (done_bytes - told >= 4 << 20) {
        told = done_bytes;
        postMessage({ type: 'progress', id: request.id, done: done_bytes, total: size });
      }
    }
  } else {
    feed(etal, source);
    lap('rule');
  }
  etal._etal_finish();
  lap('rule');
  const at = etal._etal_output();
  const shortened = etal.HEAPU8.subarray(at, at + etal._etal_output_size());
  // A file's result goes out as a Blob, made here rather than on the page;
  // pasted text as bytes, which the page decodes.
  const output = source instanceof Blob ? new Blob([shortened], { type: 'text/x-bibtex' }) : shortened.slice();
  const cuts_at = etal._etal_cuts();
  const cuts = new TextDecoder().decode(etal.HEAPU8.subarray(cuts_at, cuts_at + etal._etal_cuts_size()));
  const result = {
    type: 'done', id: request.id, output, cuts,
    lists_cut: etal._etal_lists_cut(), found_entry: etal._etal_found_entry() === 1,
  };
  etal._etal_end();
  lap('output');
  result.times = times;
  postMessage(result, output instanceof Blob ? [] : [output.buffer]);
}
