uniform sampler2D Texture0;
uniform vec4 c = vec4(1.0, .5, -2e1, 3);
#technique ati
#pass
#vertex
void main(){gl_Position=gl_Vertex;}
#fragment
void main(){gl_FragColor=texture2D(Texture0,gl_TexCoord[0].xy);}
#pass
#vertex
void main(){}
#fragment
void main(){}
