// The viewer's page: image panels (depth, IR, colour, and the mapped images while their
// mapper is on), the statistics, a point cloud drawn with WebGL (drag to rotate), the
// camera's info, the setting controls and the library's switches. For scripted checks:
// `?set=NAME:VALUE,NAME:VALUE` changes those settings or switches in turn through the
// controls' own path once frames are shown.
#include "cli/Viewer.h"

namespace quorix::cli {

const char* ViewerPage() {
    return R"QXPAGE(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quorix viewer</title>
<style>
body{font-family:sans-serif;background:#202428;color:#e8e8e8;margin:8px}
.row{display:flex;gap:8px;flex-wrap:wrap}
.panel{background:#111;padding:4px}
.panel h3{margin:2px 0;font-size:13px;font-weight:normal}
canvas{display:block;background:#000}
#stats,#result{font-family:monospace;font-size:13px;white-space:pre}
#info{font-family:monospace;font-size:11px;white-space:pre;max-height:260px;overflow:auto}
label{margin-right:10px;font-size:13px;display:inline-block;margin-bottom:3px}
</style></head><body>
<div class="row">
 <div class="panel"><h3>depth</h3><canvas id="depth" width="400" height="300"></canvas></div>
 <div class="panel"><h3>IR</h3><canvas id="ir" width="400" height="300"></canvas></div>
 <div class="panel"><h3>colour</h3><canvas id="colour" width="400" height="300"></canvas></div>
 <div class="panel" id="panel-colour-on-depth" hidden><h3>colour on depth</h3><canvas id="colour-on-depth" width="400" height="300"></canvas></div>
 <div class="panel" id="panel-depth-on-colour" hidden><h3>depth on colour</h3><canvas id="depth-on-colour" width="400" height="300"></canvas></div>
 <div class="panel" id="panel-ir-on-colour" hidden><h3>IR on colour</h3><canvas id="ir-on-colour" width="400" height="300"></canvas></div>
</div>
<div class="row">
 <div class="panel"><h3>point cloud (drag to rotate)</h3><canvas id="cloud" width="400" height="300"></canvas></div>
 <div class="panel" style="width:440px">
  <h3>stream</h3><div id="stats">waiting for frames</div>
  <h3>settings</h3>
  <div id="controls"></div>
  <h3>library switches</h3>
  <div id="switches"></div>
  <div id="result"></div>
 </div>
 <div class="panel" style="min-width:380px"><h3>camera</h3><div id="info"></div></div>
</div>
<script>
"use strict";
const kinds=["depth","ir","colour","colour-on-depth","depth-on-colour","ir-on-colour"];
const shown={};for(const k of kinds)shown[k]=0;
const query=new URLSearchParams(location.search);
let pageFps=0;
// Images arrive on one stream; each panel decodes only its newest (a slow page skips images
// instead of queueing them), scaled to the panel as it decodes, and the decoded images are
// drawn together once per display frame.
const newest={},decoding={},decoded={};
let drawPending=false;
function drawDecoded(){
  drawPending=false;
  for(const k of kinds){
    const bmp=decoded[k];if(!bmp)continue;decoded[k]=null;
    const c=document.getElementById(k);
    const hh=Math.round(400*bmp.height/bmp.width);if(c.height!==hh)c.height=hh;
    c.getContext("2d").drawImage(bmp,0,0,400,hh);bmp.close();shown[k]++;
    const box=document.getElementById("panel-"+k);if(box)box.hidden=false;
  }
}
async function decode(k){
  if(decoding[k])return;decoding[k]=true;
  while(newest[k]){
    const im=newest[k];newest[k]=null;
    try{
      const h=Math.max(1,Math.round(400*im.h/im.w));
      const bmp=await createImageBitmap(new Blob([im.jpeg],{type:"image/jpeg"}));
      if(decoded[k])decoded[k].close();
      decoded[k]=bmp;
      if(!drawPending){drawPending=true;requestAnimationFrame(drawDecoded);}
    }catch(e){}
  }
  decoding[k]=false;
}
async function stream(){
  for(;;){
    try{
      const reader=(await fetch("/stream",{cache:"no-store"})).body.getReader();
      let parts=[],have=0;
      for(;;){
        const {value,done}=await reader.read();if(done)break;
        parts.push(value);have+=value.length;
        for(;;){
          if(have<12)break;
          if(parts.length>1){const all=new Uint8Array(have);let o=0;
            for(const p of parts){all.set(p,o);o+=p.length;}parts=[all];}
          const b=parts[0],v=new DataView(b.buffer,b.byteOffset,b.length);
          const len=v.getUint32(8,true);if(have<12+len)break;
          const k=kinds[b[0]];
          if(k)newest[k]={w:v.getUint16(2,true),h:v.getUint16(4,true),jpeg:b.subarray(12,12+len)};
          parts=[b.subarray(12+len)];have-=12+len;
          if(k)decode(k);
        }
      }
    }catch(e){}
    await new Promise(z=>setTimeout(z,500));
  }
}
let last=performance.now(),lastShown=0;
async function stats(){
  const now=performance.now(),total=shown.depth+shown.ir+shown.colour;
  pageFps=(shown.depth-lastShown)*1000/(now-last);lastShown=shown.depth;last=now;
  try{
    const s=await (await fetch("/api/status?pagefps="+pageFps.toFixed(1),{cache:"no-store"})).json();
    if(s.fps===undefined){document.getElementById("stats").textContent="waiting for frames";return;}
    document.getElementById("stats").textContent=
      "camera: "+s.fps.toFixed(1)+" fps, sets "+s.sets+", time-outs "+s.timeouts+
      ", failures "+s.failures+"\nlatency "+(s.latency===null?"-":s.latency)+" ms\nshown by this page: "+
      pageFps.toFixed(1)+" fps (images "+total+")";
  }catch(e){document.getElementById("stats").textContent="viewer not answering";}
}
// The controls come from the viewer: the camera's settings with the values this camera
// offers, and the library's switches with their state.
async function controls(){
  let c;
  try{c=await (await fetch("/api/controls",{cache:"no-store"})).json();}catch(e){return;}
  const box=document.getElementById("controls");box.textContent="";
  for(const s of c.settings){
    const l=document.createElement("label");l.textContent=s.name+" ";
    let input;
    if(s.choices.length>0){input=document.createElement("select");
      for(const [v,text] of s.choices){const o=document.createElement("option");o.value=v;o.textContent=text;input.appendChild(o);}
      if(!s.choices.some(([v])=>v===s.value)&&s.value!==""){const o=document.createElement("option");o.value=s.value;o.textContent=s.value;input.appendChild(o);}}
    else{input=document.createElement("input");input.size=5;}
    input.value=s.value;input.id="set-"+s.name;
    const b=document.createElement("button");b.textContent="set";
    b.onclick=()=>change(s.name,input.value);
    l.appendChild(input);l.appendChild(b);box.appendChild(l);
  }
  const sw=document.getElementById("switches");sw.textContent="";
  for(const s of c.switches){
    const l=document.createElement("label"),input=document.createElement("input");
    input.type="checkbox";input.id="switch-"+s.name;input.checked=s.on===true;input.disabled=s.on===null;
    input.onchange=()=>change(s.name,input.checked?"on":"off");
    l.appendChild(input);l.appendChild(document.createTextNode(" "+s.label));sw.appendChild(l);
  }
}
async function change(name,value){
  const r=document.getElementById("result");r.textContent="setting "+name+" "+value+"...";
  try{
    const a=await (await fetch("/api/set?name="+encodeURIComponent(name)+"&value="+
      encodeURIComponent(value),{method:"POST"})).json();
    r.textContent=name+": "+a.text;document.title="set "+name+" "+(a.ok?"ok":"failed");
    controls();
  }catch(e){r.textContent="the viewer did not answer";}
}
async function info(){
  try{document.getElementById("info").textContent=await (await fetch("/api/info")).text();}catch(e){}
}
// Point cloud: points in mm, coloured by depth; drag rotates about the cloud's centre.
let yaw=0,pitch=0,points=null,count=0;
function cloud(){
  // No multisampling, depth or alpha buffers: where WebGL runs in software they cost the
  // image panels frames, and single points gain nothing from them.
  const c=document.getElementById("cloud"),
    gl=c.getContext("webgl",{antialias:false,depth:false,alpha:false,stencil:false});
  if(!gl){c.getContext("2d");return;}
  const vs=`attribute vec3 p;uniform mat3 r;uniform vec3 mid;uniform float span;varying float d;
   void main(){vec3 q=r*((p-mid)/span);d=clamp((p.z-mid.z)/span+0.5,0.0,1.0);
   gl_Position=vec4(q.x,-q.y,q.z*0.5,1.0);gl_PointSize=1.5;}`;
  const fs=`precision mediump float;varying float d;void main(){gl_FragColor=vec4(1.0-d,0.4+0.6*d,d,1.0);}`;
  const prog=gl.createProgram();
  for(const [t,src] of [[gl.VERTEX_SHADER,vs],[gl.FRAGMENT_SHADER,fs]]){
    const s=gl.createShader(t);gl.shaderSource(s,src);gl.compileShader(s);gl.attachShader(prog,s);}
  gl.linkProgram(prog);gl.useProgram(prog);
  const buf=gl.createBuffer(),loc=gl.getAttribLocation(prog,"p");
  let mid=[0,0,1000],span=2000,drag=null;
  c.onmousedown=e=>drag=[e.clientX,e.clientY];window.onmouseup=()=>drag=null;
  window.onmousemove=e=>{if(drag){yaw+=(e.clientX-drag[0])*0.01;pitch+=(e.clientY-drag[1])*0.01;drag=[e.clientX,e.clientY];redraw();}};
  async function load(){
    try{const r=await fetch("/api/points",{cache:"no-store"});
      if(r.status===200){points=new Float32Array(await r.arrayBuffer());count=points.length/3;
        if(count>0){let lo=[1e9,1e9,1e9],hi=[-1e9,-1e9,-1e9];
          for(let i=0;i<points.length;i+=3)for(let k=0;k<3;k++){lo[k]=Math.min(lo[k],points[i+k]);hi[k]=Math.max(hi[k],points[i+k]);}
          mid=[0,1,2].map(k=>(lo[k]+hi[k])/2);span=Math.max(hi[0]-lo[0],hi[1]-lo[1],hi[2]-lo[2],1);}
        gl.bindBuffer(gl.ARRAY_BUFFER,buf);gl.bufferData(gl.ARRAY_BUFFER,points,gl.DYNAMIC_DRAW);redraw();}
    }catch(e){}
    setTimeout(load,500);
  }
  function draw(){
    const cy=Math.cos(yaw),sy=Math.sin(yaw),cp=Math.cos(pitch),sp=Math.sin(pitch);
    const r=[cy,sy*sp,-sy*cp, 0,cp,sp, sy,-cy*sp,cy*cp];
    gl.viewport(0,0,c.width,c.height);gl.clearColor(0,0,0,1);gl.clear(gl.COLOR_BUFFER_BIT);
    if(count>0){gl.bindBuffer(gl.ARRAY_BUFFER,buf);gl.enableVertexAttribArray(loc);
      gl.vertexAttribPointer(loc,3,gl.FLOAT,false,0,0);
      gl.uniformMatrix3fv(gl.getUniformLocation(prog,"r"),false,r);
      gl.uniform3fv(gl.getUniformLocation(prog,"mid"),mid);
      gl.uniform1f(gl.getUniformLocation(prog,"span"),span);gl.drawArrays(gl.POINTS,0,count);}
  }
  // Drawn only when the points or the view change: redrawing a still cloud every animation
  // frame costs the image panels their frame rate where WebGL runs in software.
  let pending=false;
  function redraw(){if(!pending){pending=true;requestAnimationFrame(()=>{pending=false;draw();});}}
  load();redraw();
}
controls();info();cloud();stream();
setInterval(stats,1000);
const wanted=query.get("set");
if(wanted){const t=setInterval(async()=>{if(shown.depth>0){clearInterval(t);
  for(const item of wanted.split(",")){const [n,v]=item.split(":");await change(n,v);}}},100);}
</script></body></html>
)QXPAGE";
}

}  // namespace quorix::cli
