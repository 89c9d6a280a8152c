// The ground shadow of a cut-out object: the shadow tint of shad2.fx, but only where the
// object's own texture is solid, so leaves and flags cast shadows with their holes.

texture tex0;

technique HoleyShadow
{
    pass P0
    {
        Lighting = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZWriteEnable = false;
        CullMode = None;
        AlphaTestEnable = true;
        AlphaRef = 128;
        AlphaFunc = GreaterEqual;
        TextureFactor = 0x8C000000;

        Texture[0] = <tex0>;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = TFactor;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = TFactor;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
